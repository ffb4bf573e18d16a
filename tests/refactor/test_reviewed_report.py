"""Confirmed renames read from a reviewed dry-run workbook."""
import os

import openpyxl
import pytest

import tallowby.quillon.quillon as quillon
from tallowby.quillon.quillon import VBAParser, VBTRefactorer
from tallowby.quillon.tabwick import Tabwick

PROGRAM = """\
Public counter As Long
Public limit As Long
Private helper As String
Public Function RunTest(ByVal count As Long) As Long
    Dim result As Long
    result = counter + helper + limit
    RunTest = result
End Function
"""

FAILED = {"Global Variables": "读取全局变量工作表失败: ", "Module Variables": "读取模块变量工作表失败: ",
          "Local Variables": "读取局部变量工作表失败: "}
HEADER = ["变量名", "正确命名", "文件路径", "行号", "应用"]


def setup(vba_folder, capsys, text=PROGRAM):
    folder = vba_folder({"m1.bas": text})
    p = VBAParser()
    p.parse_files(folder)
    capsys.readouterr()
    return os.path.join(folder, "m1.bas"), VBTRefactorer(p)


def workbook(tmp_path, sheets):
    """A workbook of {sheet: [header, row, ...]}."""
    book = openpyxl.Workbook()
    book.remove(book.active)
    for name, rows in sheets.items():
        ws = book.create_sheet(name)
        for row in rows:
            ws.append(row)
    path = str(tmp_path / "reviewed.xlsx")
    book.save(path)
    return path


def records(r):
    return [(t, c["file_path"], c["line_number"], c["original_name"], c["new_name"], c["description"])
            for t, cs in r.changes_made.items() for c in cs]


def test_reviewed_dry_run_report(vba_folder, review_report, tmp_path, capsys):
    path, r = setup(vba_folder, capsys)
    report = Tabwick().generate_dry_run_report(lambda v: None, r.parser, str(tmp_path))
    review_report(report, {"Global Variables": {"counter"}, "Local Variables": {"result"}})
    capsys.readouterr()
    assert r.apply_changes_from_excel(excel_path=report) is True
    out = capsys.readouterr().out.splitlines()
    assert out[:4] == [f"正在读取Excel报告: {report}", "从Excel中读取到 2 个确认的修改:",
                       "  - 全局变量: counter -> g_Counter_lng", "  - 局部变量: result -> Result_lng"]
    assert out[5:] == [f"已修改文件: {path}", "  - 更新了 2 个变量名的所有引用"]
    assert records(r) == [
        ("global_variable", path, 1, "counter", "g_Counter_lng", "全局变量 'counter' 重命名为 'g_Counter_lng'"),
        ("local_variable", path, 5, "result", "Result_lng", "局部变量 'result' 在函数 'RunTest' 中重命名为 'Result_lng'"),
    ]
    assert open(path).read() == PROGRAM.replace("counter", "g_Counter_lng").replace("result", "Result_lng")


def test_report_as_written_confirms_nothing(vba_folder, tmp_path, capsys):
    path, r = setup(vba_folder, capsys, "Public counter As Long\n")
    report = Tabwick().generate_dry_run_report(lambda v: None, r.parser, str(tmp_path))
    capsys.readouterr()
    assert r.apply_changes_from_excel(report) is False
    out = capsys.readouterr().out.splitlines()
    assert out[0] == f"正在读取Excel报告: {report}" and out[-1] == "未找到任何确认的修改"
    # only the global sheet was written: the other two give their failure lines
    assert [line[:len(FAILED["Module Variables"])] for line in out[1:3]] == [FAILED["Module Variables"],
                                                                             FAILED["Local Variables"]]
    assert "Worksheet named 'Module Variables' not found" in out[1]
    assert dict(r.changes_made) == {}


def test_file_that_is_not_a_workbook(vba_folder, tmp_path, capsys):
    _, r = setup(vba_folder, capsys)
    junk = tmp_path / "junk.xlsx"
    junk.write_text("not a workbook")
    assert r.apply_changes_from_excel(str(junk)) is False
    out = capsys.readouterr().out.splitlines()
    assert [line.split(": ")[0] + ": " for line in out[1:4]] == list(FAILED.values())
    assert out[4:] == ["未找到任何确认的修改"]


def test_without_pandas(vba_folder, tmp_path, capsys, monkeypatch):
    _, r = setup(vba_folder, capsys)
    monkeypatch.setattr(quillon, "pd", None)
    assert r.apply_changes_from_excel(str(tmp_path / "x.xlsx")) is False
    assert capsys.readouterr().out == "错误: pandas未安装，无法读取Excel文件\n"
    assert dict(r.changes_made) == {}


@pytest.mark.parametrize("headings, confirmed", [
    (["应用", "Apply"], ["a"]),       # only the leftmost matching heading decides
    (["Apply", "应用"], ["a"]),
    (["APPLY?", "x"], ["a"]),
    (["是否应用", "x"], ["a"]),
    (["Applied", "x"], []),           # no confirm column: the sheet is skipped silently
])
def test_confirm_column(vba_folder, tmp_path, capsys, headings, confirmed):
    path, r = setup(vba_folder, capsys)
    rows = [["变量名", "正确命名", "文件路径", "行号"] + headings,
            ["a", "a_new", path, 1, True, False], ["b", "b_new", path, 2, False, True]]
    r._apply_all_changes = lambda: None
    answer = r.apply_changes_from_excel(workbook(tmp_path, {"Global Variables": rows}))
    assert [c["original_name"] for c in r.changes_made["global_variable"]] == confirmed
    assert answer is bool(confirmed)


def test_which_cells_confirm(vba_folder, tmp_path, capsys):
    path, r = setup(vba_folder, capsys)
    marks = [True, 1, 1.0, "TRUE", "是", None, 0, False, "1"]
    rows = [HEADER] + [[f"v{i}", f"n{i}", path, i, m] for i, m in enumerate(marks)]
    r._apply_all_changes = lambda: None
    assert r.apply_changes_from_excel(workbook(tmp_path, {"Module Variables": rows}))
    assert [c["original_name"] for c in r.changes_made["module_variable"]] == ["v0", "v1", "v2"]


def test_dry_run_report_with_only_a_confirm_column(vba_folder, review_report, tmp_path, capsys):
    # The names come from the report's own "建议名称" and "所在函数" columns.
    path, r = setup(vba_folder, capsys)
    report = Tabwick().generate_dry_run_report(lambda v: None, r.parser, str(tmp_path))
    review_report(report, {"Module Variables": {"helper"}, "Local Variables": {"result"}}, names=False)
    capsys.readouterr()
    assert r.apply_changes_from_excel(report) is True
    assert records(r) == [
        ("module_variable", path, 3, "helper", "m_Helper_str", "模块变量 'helper' 重命名为 'm_Helper_str'"),
        ("local_variable", path, 5, "result", "Result_lng", "局部变量 'result' 在函数 'RunTest' 中重命名为 'Result_lng'"),
    ]
    assert open(path).read() == PROGRAM.replace("helper", "m_Helper_str").replace("result", "Result_lng")


@pytest.mark.parametrize("n, listed, rest", [(12, 10, "  ... 以及另外 2 个修改"), (10, 10, None)])
def test_listing_stops_at_ten(vba_folder, tmp_path, capsys, n, listed, rest):
    path, r = setup(vba_folder, capsys)
    rows = [HEADER] + [[f"v{i}", f"n{i}", path, i, True] for i in range(n)]
    sheets = {"Global Variables": [HEADER], "Module Variables": [HEADER], "Local Variables": rows}
    r._apply_all_changes = lambda: None
    assert r.apply_changes_from_excel(workbook(tmp_path, sheets)) is True
    out = capsys.readouterr().out.splitlines()
    assert out[1] == f"从Excel中读取到 {n} 个确认的修改:"
    assert out[2:2 + listed] == [f"  - 局部变量: v{i} -> n{i}" for i in range(listed)]
    assert out[2 + listed:] == ([rest] if rest else [])
    assert r.changes_made["local_variable"][0]["description"] == "局部变量 'v0' 在函数 '' 中重命名为 'n0'"


def test_bad_line_number_ends_only_its_sheet(vba_folder, tmp_path, capsys):
    path, r = setup(vba_folder, capsys)
    sheets = {
        "Module Variables": [HEADER, ["a", "a1", path, 1, True], ["b", "b1", path, "2", True],
                             ["c", "c1", path, None, True], ["d", "d1", path, 4, True]],
        "Local Variables": [HEADER + ["函数名"], ["e", "e1", path, 5.9, True, None], ["f", "f1", path, 6, True, "F"]],
    }
    r._apply_all_changes = lambda: None
    # the confirmed row "d" was never read: the answer is false
    assert r.apply_changes_from_excel(workbook(tmp_path, sheets)) is False
    out = capsys.readouterr().out.splitlines()
    assert out[1].startswith(FAILED["Global Variables"]) and out[2].startswith(FAILED["Module Variables"])
    assert records(r) == [
        ("module_variable", path, 1, "a", "a1", "模块变量 'a' 重命名为 'a1'"),
        ("module_variable", path, 2, "b", "b1", "模块变量 'b' 重命名为 'b1'"),
        ("local_variable", path, 5, "e", "e1", "局部变量 'e' 在函数 '' 中重命名为 'e1'"),
        ("local_variable", path, 6, "f", "f1", "局部变量 'f' 在函数 'F' 中重命名为 'f1'"),
    ]


def test_confirmed_rows_that_cannot_be_applied(vba_folder, tmp_path, capsys):
    path, r = setup(vba_folder, capsys)
    sheets = {
        "Global Variables": [["变量名", "正确命名", "应用"], ["counter", "g_Counter_lng", True], ["limit", None, True]],
        "Module Variables": [["变量名", "建议名称", "文件路径", "行号", "应用"], ["helper", "m_Helper_str", path, 3, True]],
        "Local Variables": [["变量名", "正确命名", 7, "应用"], ["result", "Result_lng", 1, True]],
    }
    assert r.apply_changes_from_excel(workbook(tmp_path, sheets)) is False
    out = capsys.readouterr().out.splitlines()
    assert out[1:5] == ["Global Variables 第 3 行已确认，但缺少变量名或新名称，未应用",
                        "读取局部变量工作表失败: argument of type 'int' is not iterable",  # a heading that is not text
                        "从Excel中读取到 2 个确认的修改:", "  - 全局变量: counter -> g_Counter_lng"]
    # without "文件路径" the record names no module of the parse
    assert out[6] == "未应用 全局变量 'counter' -> 'g_Counter_lng' ( 第 0 行): 文件不在本次解析的模块中"
    assert records(r) == [("module_variable", path, 3, "helper", "m_Helper_str", "模块变量 'helper' 重命名为 'm_Helper_str'")]
    assert open(path).read() == PROGRAM.replace("helper", "m_Helper_str")


def test_empty_path_cell_is_refused(vba_folder, tmp_path, capsys):
    path, r = setup(vba_folder, capsys)
    rows = [HEADER, ["counter", "g_Counter_lng", None, 1, True]]
    assert r.apply_changes_from_excel(workbook(tmp_path, {"Global Variables": rows})) is False
    out = capsys.readouterr().out.splitlines()
    assert out[-1] == "未应用 全局变量 'counter' -> 'g_Counter_lng' (nan 第 1 行): 文件路径不是文本"
    assert dict(r.changes_made) == {} and open(path).read() == PROGRAM


def test_excel_path_must_be_text(vba_folder, capsys):
    _, r = setup(vba_folder, capsys)
    with pytest.raises(TypeError) as e:
        r.apply_changes_from_excel(None)
    assert str(e.value) == "Argument 'excel_path' has incorrect type (expected str, got NoneType)"
    assert capsys.readouterr().out == ""
