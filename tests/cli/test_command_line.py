"""The command of the VBT tools: python -m tallowby.quillon <folder> [mode] [report]."""
import glob
import io
import os
import re
import subprocess
import sys

import pytest

from tallowby.quillon import quillon

PROGRAM = """\
Public counter As Long
Public Function RunTest(ByVal count As Long) As Long
    Dim result As Long
    result = counter
    RunTest = result
End Function
"""

USAGE = ["用法: python quillon.py <目录路径> [模式] [报告路径]", "模式:", "  dry-run  - 仅检查并生成报告 (默认)",
         "  refactor - 使用已有报告进行重构，不生成新报告", "报告路径:", "  在refactor模式下，指定dry-run模式生成的Excel报告路径"]
PARSED = ["找到 1 个 .bas 文件", "正在收集变量引用信息...", "收集到 2 个变量的引用信息", "解析完成：1 个全局变量，1 个函数",
          "解析完成！", "发现 1 个全局变量", "发现 1 个函数", "发现 0 个Type定义", "发现 0 个Enum定义"]


def command(*args, stdin="", prelude="", cwd=None):
    code = prelude + "import runpy; runpy.run_module('tallowby.quillon', run_name='__main__')"
    run = subprocess.run([sys.executable, "-c", code, *args] if prelude else
                         [sys.executable, "-m", "tallowby.quillon", *args],
                         input=stdin, capture_output=True, text=True, encoding="utf-8", cwd=cwd)
    return run.returncode, run.stdout.splitlines()


def main(monkeypatch, capsys, *args, stdin=""):
    """main() in process: (exit status, printed lines)."""
    monkeypatch.setattr(sys, "argv", ["quillon.py", *args])
    monkeypatch.setattr(sys, "stdin", io.StringIO(stdin))
    capsys.readouterr()
    try:
        quillon.main()
        status = 0
    except SystemExit as e:
        status = e.code
    return status, capsys.readouterr().out.splitlines()


def dry_run_report(folder):
    (report,) = glob.glob(os.path.join(folder, "Quillon_Report_*.xlsx"))
    return report


# --- as a command, in its own process ---

def test_no_argument():
    assert command() == (1, USAGE)


def test_dry_run_then_refactor(vba_folder, review_report, tmp_path):
    folder = vba_folder({"m1.bas": PROGRAM})
    cwd = tmp_path / "elsewhere"
    cwd.mkdir()
    status, out = command(folder, "dry-run", cwd=str(cwd))
    report = dry_run_report(folder)
    assert status == 0 and out == [f"开始处理目录: {folder}", "模式: dry-run", *PARSED,
                                   f"正在生成dry-run报告: {report}", f"Dry-run报告已生成: {report}", "",
                                   f"✓ Dry-run报告已生成: {report}", "", "请查看报告并确认修改，然后使用refactor模式应用修改"]
    assert list(cwd.iterdir()) == []

    review_report(report, {"Global Variables": {"counter"}})
    status, out = command(folder, "refactor", report, "ignored", stdin="  Y \n")
    module = os.path.join(folder, "m1.bas")
    (refactor_report,) = glob.glob(os.path.join(folder, "VBT_Refactor_Report_*.xlsx"))
    assert status == 0
    assert out[11:14] == [f"使用已有报告: {report}", "", f"是否继续自动重构？(y/N): 正在读取Excel报告: {report}"]
    assert out[-4:] == ["重构应用成功！", f"正在生成重构报告: {refactor_report}", f"重构报告已生成: {refactor_report}",
                        f"✓ 重构报告已生成: {refactor_report}"]
    assert open(module).read() == PROGRAM.replace("counter", "g_Counter_lng")


def test_without_pandas(vba_folder):
    folder = vba_folder({"m1.bas": PROGRAM})
    status, out = command(folder, "no-such-mode", prelude=f"import sys; sys.modules['pandas'] = None; "
                                                          f"sys.argv[1:] = [{folder!r}, 'no-such-mode']; ")
    assert status == 0
    assert out[0] == "警告: pandas未安装，Excel相关功能将不可用。请运行: pip install pandas openpyxl"
    assert out[-2:] == ["无法导入Excel报告生成器: import of pandas halted; None in sys.modules",
                        "请安装所需依赖: pip install pandas openpyxl"]


# --- main() in process ---

def test_missing_folder(monkeypatch, capsys, tmp_path):
    missing = str(tmp_path / "nope")
    assert main(monkeypatch, capsys, missing) == (1, [f"错误：目录 '{missing}' 不存在"])


@pytest.mark.parametrize("mode", ["Dry-Run", "REFACTOR"])
def test_unknown_mode_after_parsing(vba_folder, monkeypatch, capsys, mode):
    folder = vba_folder({"m1.bas": PROGRAM})
    status, out = main(monkeypatch, capsys, folder, mode)
    assert status == 1 and out[:2] == [f"开始处理目录: {folder}", f"模式: {mode}"] and out[2:11] == PARSED
    assert out[11:] == [f"错误：无效的模式 '{mode}'", "支持的模式:", "  dry-run  - 仅检查并生成报告 (默认)",
                        "  refactor - 使用已有报告进行重构", "用法: python quillon.py <目录路径> [模式] [报告路径]"]


def test_refactor_needs_an_existing_report(vba_folder, monkeypatch, capsys, tmp_path):
    folder = vba_folder({"m1.bas": PROGRAM})
    needs = ["错误：refactor模式需要指定报告路径", "用法: python quillon.py <目录路径> refactor <报告路径>"]
    assert main(monkeypatch, capsys, folder, "refactor")[0] == 1
    status, out = main(monkeypatch, capsys, folder, "refactor", "")
    assert status == 1 and out[-2:] == needs
    missing = str(tmp_path / "r.xlsx")
    status, out = main(monkeypatch, capsys, folder, "refactor", missing)
    assert status == 1 and out[-1] == f"错误：指定的报告文件 '{missing}' 不存在"


@pytest.mark.parametrize("answer, last", [
    ("yes\n", "是否继续自动重构？(y/N): 重构已取消"), ("n\n", "是否继续自动重构？(y/N): 重构已取消"),
    ("\n", "是否继续自动重构？(y/N): 重构已取消"),
    ("", "是否继续自动重构？(y/N): 生成报告时出错: EOF when reading a line"),
])
def test_answers_that_do_not_go_on(vba_folder, monkeypatch, capsys, tmp_path, answer, last):
    folder = vba_folder({"m1.bas": PROGRAM})
    report = tmp_path / "r.xlsx"
    report.write_bytes(b"")
    status, out = main(monkeypatch, capsys, folder, "refactor", str(report), stdin=answer)
    assert status == 0 and out[-1] == last and open(os.path.join(folder, "m1.bas")).read() == PROGRAM


def test_unreviewed_report_applies_nothing(vba_folder, monkeypatch, capsys):
    folder = vba_folder({"m1.bas": PROGRAM})
    main(monkeypatch, capsys, folder)
    report = dry_run_report(folder)
    status, out = main(monkeypatch, capsys, folder, "refactor", report, stdin="y\n")
    assert status == 1 and out[-2:] == ["未找到任何确认的修改", "重构应用失败"]
    assert not glob.glob(os.path.join(folder, "VBT_Refactor_Report_*"))


def test_dry_run_names_the_written_report(vba_folder, monkeypatch, capsys, tmp_path):
    folder = vba_folder({"m1.bas": PROGRAM})
    status, out = main(monkeypatch, capsys, folder, "dry-run", str(tmp_path / "wanted.xlsx"), "more")
    report = dry_run_report(folder)
    assert status == 0 and f"✓ Dry-run报告已生成: {report}" in out and not (tmp_path / "wanted.xlsx").exists()


def test_folder_without_modules(vba_folder, monkeypatch, capsys):
    folder = vba_folder({})
    status, out = main(monkeypatch, capsys, folder)
    assert status == 0 and out[-10:-6] == ["发现 0 个全局变量", "发现 0 个函数", "发现 0 个Type定义", "发现 0 个Enum定义"]
    assert dry_run_report(folder)


def test_report_failure_is_reported(monkeypatch, capsys, tmp_path):
    plain_file = tmp_path / "m.bas"  # exists, but is no folder to write into
    plain_file.write_text("")
    status, out = main(monkeypatch, capsys, str(plain_file))
    assert status == 0 and out[-1].startswith("生成报告时出错: ") and str(plain_file) in out[-1]


# --- reviewing the dry-run report as it comes and refactoring ---

MODULES = {
    "main.bas": b'Attribute VB_Name = "main"\r\nPublic counter As Long\r\nPublic Function RunTest(ByVal count As Long) As Long\r\n'
                b'    Dim result As Long\r\n    result = counter + count ' + b"' the counter\r\n"
                b'    Debug.Print "counter"; result\r\n    RunTest = result\r\nEnd Function',
    "other.bas": b"Sub Tally()\n    counter = main.counter + 1\nEnd Sub\n",
}
APPLIED = {
    "main.bas": MODULES["main.bas"].replace(b"Public counter", b"Public g_Counter_lng").replace(
        b"result = counter", b"result = g_Counter_lng").replace(b"the counter", b"the g_Counter_lng").replace(
        b" result", b" Result_lng").replace(b"(Result_lng", b"(result"),
    "other.bas": b"Sub Tally()\n    g_Counter_lng = main.g_Counter_lng + 1\nEnd Sub\n",
}


def reviewed(folder, review_report, marks=None):
    """Dry-run of the folder by the command, then the report with only a confirm column added."""
    status, _ = command(folder, "dry-run")
    assert status == 0
    report = dry_run_report(folder)
    return review_report(report, marks or {"Global Variables": {"counter"}, "Local Variables": {"result"}}, names=False)


def module_bytes(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in MODULES}


def backups_of(folder):
    return {n: open(os.path.join(folder, b), "rb").read() for n in MODULES for b in os.listdir(folder)
            if b.startswith(n + ".backup_")}


def test_review_with_a_confirm_column_only(vba_folder, review_report):
    folder = vba_folder(MODULES)
    report = reviewed(folder, review_report)
    status, out = command(folder, "refactor", report, stdin="y\n")
    assert status == 0 and "重构应用成功！" in out
    assert module_bytes(folder) == APPLIED
    assert backups_of(folder) == MODULES
    (refactor_report,) = glob.glob(os.path.join(folder, "VBT_Refactor_Report_*.xlsx"))
    import pandas as pd
    changes = pd.read_excel(refactor_report, sheet_name="Refactor Changes")
    assert list(changes["原名称"]) == ["counter", "result"] and list(changes["新名称"]) == ["g_Counter_lng", "Result_lng"]


def set_cell(report, sheet, name, column, value):
    import openpyxl
    book = openpyxl.load_workbook(report)
    ws = book[sheet]
    header = [c.value for c in ws[1]]
    for row in ws.iter_rows(min_row=2):
        if row[header.index("变量名")].value == name:
            row[header.index(column)].value = value
    book.save(report)


@pytest.mark.parametrize("spoil, printed", [
    (lambda folder, report: os.chmod(os.path.join(folder, "other.bas"), 0o444), "无法修改文件 {other}: 文件只读"),
    (lambda folder, report: set_cell(report, "Global Variables", "counter", "建议名称", "1counter"),
     "未应用 全局变量 'counter' -> '1counter' ({main} 第 2 行): 新名称 '1counter' 不是合法的VBA标识符"),
])
def test_refactor_that_cannot_apply_a_row_fails(vba_folder, review_report, spoil, printed):
    folder = vba_folder(MODULES)
    report = reviewed(folder, review_report, {"Global Variables": {"counter"}})
    spoil(folder, report)
    status, out = command(folder, "refactor", report, stdin="y\n")
    assert status == 1 and out[-1] == "重构应用失败"
    printed = printed.format(main=os.path.join(folder, "main.bas"), other=os.path.join(folder, "other.bas"))
    assert any(line.startswith(printed) for line in out)
    assert module_bytes(folder) == MODULES and backups_of(folder) == {}
    assert not glob.glob(os.path.join(folder, "VBT_Refactor_Report_*"))


def test_rows_written_are_reported_when_others_fail(vba_folder, review_report):
    folder = vba_folder(MODULES)
    report = reviewed(folder, review_report)
    set_cell(report, "Global Variables", "counter", "建议名称", "tally")  # the name of a procedure of other.bas
    status, out = command(folder, "refactor", report, stdin="y\n")
    other = os.path.join(folder, "other.bas")
    assert status == 1 and f"未应用 全局变量 'counter' -> 'tally' ({os.path.join(folder, 'main.bas')} 第 2 行): " \
        f"新名称 'tally' 与 {other} 第 1 行的 'Tally' 冲突" in out
    assert out[-4] == "重构应用失败" and out[-1].startswith("✓ 重构报告已生成: ")
    assert module_bytes(folder)["main.bas"] == MODULES["main.bas"].replace(b" result", b" Result_lng").replace(
        b"(Result_lng", b"(result")
    (refactor_report,) = glob.glob(os.path.join(folder, "VBT_Refactor_Report_*.xlsx"))
    import pandas as pd
    assert list(pd.read_excel(refactor_report, sheet_name="Refactor Changes")["原名称"]) == ["result"]


def test_refactor_on_a_full_disk_fails(small_disk, review_report):
    disk = small_disk("256k")
    for name, data in MODULES.items():
        (disk.path / name).write_bytes(data)
    report = reviewed(str(disk.path), review_report)
    disk.fill()
    status, out = command(str(disk.path), "refactor", report, stdin="y\n")
    assert status == 1 and out[-1] == "重构应用失败"
    assert any(line.startswith(("备份文件失败 ", "写入文件失败 ")) for line in out)
    assert module_bytes(str(disk.path)) == MODULES
    assert not [n for n in os.listdir(disk.path) if n.endswith(".tmp") or n.startswith("VBT_Refactor_Report_")]


def test_refactor_report_never_replaces_one_of_the_same_second(tmp_path):
    from tallowby.quillon.tabwick import Tabwick
    import time
    now = time.time()
    taken = [tmp_path / f"VBT_Refactor_Report_{time.strftime('%Y%m%d_%H%M%S', time.localtime(now + d))}.xlsx"
             for d in (0, 1)]
    for path in taken:
        path.write_bytes(b"earlier report")
    written = Tabwick().generate_refactor_report({}, str(tmp_path))
    assert all(path.read_bytes() == b"earlier report" for path in taken)
    assert re.fullmatch(r"VBT_Refactor_Report_\d{8}_\d{6}(_2)?\.xlsx", os.path.basename(written))
