import os
import re
import time

import pytest

from tallowby.quillon.quillon import FunctionInfo, TypeInfo, VBAParser
from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.tabwick import Tabwick

from report_books import sheets_of

PROGRAM = """\
Attribute VB_Name = "m1"
Public counter As Long
Private helper As String

Public Function RunTest(ByVal count As Long) As Long
    Dim result As Long
    result = counter + helper
    RunTest = result
End Function
"""


def parsed(folder, text=PROGRAM):
    folder.mkdir(exist_ok=True)
    if text is not None:
        (folder / "m1.bas").write_text(text)
    p = VBAParser()
    p.parse_files(str(folder))
    return p


def run_report(capsys, parser, *args, **kwargs):
    capsys.readouterr()
    progress = []
    before = time.strftime("%Y%m%d_%H%M%S")
    path = Tabwick().generate_dry_run_report(progress.append, parser, *args, **kwargs)
    after = time.strftime("%Y%m%d_%H%M%S")
    out = capsys.readouterr().out
    assert out == f"正在生成dry-run报告: {path}\nDry-run报告已生成: {path}\n"
    assert progress == [10, 20, 30, 40, 50, 60, 70, 80, 90]
    stamp = re.fullmatch(r".*Quillon_Report_(\d{8}_\d{6})\.xlsx", path).group(1)
    assert before <= stamp <= after
    return path


def test_full_report_sheet_order(tmp_path, capsys):
    p = parsed(tmp_path / "prog")
    p.functions["x.bas:Long"] = FunctionInfo("Long", "Long", F.DSP, "x.bas", 1, 80, [], ["参数 'a': bad"])
    path = run_report(capsys, p, str(tmp_path))
    assert os.path.dirname(path) == str(tmp_path)
    sheets = sheets_of(path)
    assert list(sheets) == ["Global Variables", "Module Variables", "Local Variables", "Function Parameters",
                            "Summary", "Manual Check Required"]
    assert [r[0] for r in sheets["Global Variables"]] == ["变量名", "counter"]
    assert sheets["Local Variables"][1][:2] == ["result", "Result_lng"]
    assert sheets["Summary"][1:] == [["全局变量", 1, 1], ["模块变量", 1, 1], ["局部变量", 1, 1],
                                     ["Type定义", 0, 0], ["Enum定义", 0, 0], ["总计", 3, "N/A"]]


def test_nothing_found_gives_summary_only(tmp_path, capsys, monkeypatch):
    p = parsed(tmp_path / "empty", None)
    monkeypatch.chdir(tmp_path)
    path = run_report(capsys, p, "./")
    assert path.startswith("./Quillon_Report_")
    sheets = sheets_of(path)
    assert list(sheets) == ["Summary"]
    assert [r[1:] for r in sheets["Summary"][1:]] == [[0, 0]] * 5 + [[0, "N/A"]]
    bare = run_report(capsys, p, output_dir="")
    assert "/" not in bare and os.path.exists(tmp_path / bare)
    default = run_report(capsys, p)
    assert default == os.path.join(".", os.path.basename(default))


def test_left_out_sheets_leave_no_gap(tmp_path, capsys):
    p = VBAParser()
    p.enums["m.bas:Color"] = TypeInfo("Color", "Color", "Enum", "m.bas", 3, correct_name="enum_Color",
                                      issue_description="Enum定义应以 'enum_' 为前缀")
    assert list(sheets_of(run_report(capsys, p, str(tmp_path)))) == ["Enum Definitions", "Summary"]


def test_failing_progress_keeps_finished_sheets(tmp_path, capsys):
    p = parsed(tmp_path / "prog")
    sent = []

    def progress(value):
        sent.append(value)
        if value == 50:
            raise RuntimeError("display gone")

    capsys.readouterr()
    with pytest.raises(RuntimeError, match="display gone"):
        Tabwick().generate_dry_run_report(progress, p, str(tmp_path))
    out = capsys.readouterr().out
    assert sent == [10, 20, 30, 40, 50] and out.startswith("正在生成dry-run报告: ") and out.count("\n") == 1
    (saved,) = tmp_path.glob("Quillon_Report_*.xlsx")
    assert list(sheets_of(saved)) == ["Global Variables", "Module Variables", "Local Variables"]


@pytest.mark.parametrize("args, kwargs, message", [
    ((print, VBAParser(), None), {}, "Argument 'output_dir' has incorrect type (expected str, got NoneType)"),
    ((print,), {}, "Tabwick.generate_dry_run_report() missing 1 required positional argument: 'parser'"),
    ((print, VBAParser(), ".", 1), {},
     "Tabwick.generate_dry_run_report() takes from 3 to 4 positional arguments but 5 were given"),
    ((), {"update_progressbar": print, "parser": VBAParser(), "folder": "."},
     "Tabwick.generate_dry_run_report() got an unexpected keyword argument 'folder'"),
])
def test_argument_errors_before_anything(capsys, args, kwargs, message):
    capsys.readouterr()
    with pytest.raises(TypeError) as e:
        Tabwick().generate_dry_run_report(*args, **kwargs)
    assert str(e.value) == message and capsys.readouterr().out == ""


def test_constructor_takes_nothing():
    with pytest.raises(TypeError, match="takes 1 positional argument but 2 were given"):
        Tabwick(1)


def test_missing_folder_fails_after_start_line(tmp_path, capsys):
    capsys.readouterr()
    sent = []
    with pytest.raises(OSError):
        Tabwick().generate_dry_run_report(sent.append, VBAParser(), str(tmp_path / "missing"))
    assert sent == [10] and capsys.readouterr().out.startswith("正在生成dry-run报告: ")
    assert not (tmp_path / "missing").exists()


def test_parser_failure_makes_no_file(tmp_path, capsys):
    class Broken:
        def get_all_variable_issues(self):
            raise KeyError("boom")

    with pytest.raises(KeyError):
        Tabwick().generate_dry_run_report(print, Broken(), str(tmp_path))
    assert list(tmp_path.iterdir()) == []


def test_sheet_writers_are_reached_through_the_object(tmp_path, capsys):
    calls = []

    class Counting(Tabwick):
        def _write_summary_sheet(self, writer, all_issues, parser):
            calls.append(sorted(all_issues))
            super()._write_summary_sheet(writer, all_issues, parser)

    Counting().generate_dry_run_report(lambda v: None, VBAParser(), str(tmp_path))
    assert calls == [["enum_definitions", "global_variables", "local_variables", "module_variables",
                      "type_definitions"]]
