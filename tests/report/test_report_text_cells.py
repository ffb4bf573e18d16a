"""Texts of modules and change records stay texts in the VBT workbooks, and a
report that fails before its first sheet leaves no file behind."""
import collections
import os

import openpyxl
import pytest

from tallowby.quillon.quillon import VBAParser
from tallowby.quillon.tabwick import Tabwick

FORMULAS = ["=x", "=1+1", "=cmd|' /C calc'!A0", "#N/A", "=HYPERLINK(\"http://x\")"]


def string_cells(path):
    """(texts of the workbook, cells holding a text not stored as a string)."""
    book = openpyxl.load_workbook(path)
    cells = [c for ws in book for row in ws.iter_rows() for c in row if isinstance(c.value, str)]
    return {c.value for c in cells}, [(c.parent.title, c.coordinate, c.data_type) for c in cells if c.data_type != "s"]


MODULE = """\
Attribute VB_Name = "m1"
Public counter As Long
Public counter As Variant
Private helper As String
Public Type pinInfo
    name As String
End Type
Public Enum mode
    fast = 1
End Enum
Public Function RunTest(ByVal count As Long) As Long
    Dim result As Long
    RunTest = result
End Function
"""


def test_dry_run_report_module_texts_are_string_cells(tmp_path, capsys):
    folder = tmp_path / "prog"
    folder.mkdir()
    (folder / "m1.bas").write_text(MODULE)
    p = VBAParser()
    p.parse_files(str(folder))
    # every text of the model that reaches a sheet, as a hostile module could make it
    issues = p.get_all_variable_issues()
    records = [r for rs in issues.values() for r in rs] + p.global_variables
    for k, r in enumerate(records):
        r.name = FORMULAS[k % len(FORMULAS)] + r.name
        r.file_path = FORMULAS[(k + 1) % len(FORMULAS)]
        r.correct_name = FORMULAS[(k + 2) % len(FORMULAS)]
        r.issue_description = FORMULAS[(k + 3) % len(FORMULAS)]
    for f in p.functions.values():
        f.name, f.file_path = "=f", "=cmd|' /C calc'!A0"
        f.parameters = [("=p", "=Long", "ByVal")]
        f.issues = ["参数 '=p': bad (建议改为: '=q')"]
    path = Tabwick().generate_dry_run_report(lambda value: None, p, str(tmp_path))
    texts, not_strings = string_cells(path)
    assert not_strings == []
    assert {r.name for r in records} | set(FORMULAS) | {"=f", "=p", "=q"} <= texts


def test_refactor_report_texts_are_string_cells(tmp_path):
    changes = collections.defaultdict(list)
    for text in FORMULAS:
        changes[text].append({"file_path": text, "line_number": 1, "original_name": text, "new_name": text,
                              "description": text, "timestamp": text})
    path = Tabwick().generate_refactor_report(changes, str(tmp_path))
    texts, not_strings = string_cells(path)
    assert not_strings == []
    assert set(FORMULAS) <= texts


class Stop(Exception):
    pass


def stop_at(value):
    def progress(v):
        if v == value:
            raise Stop(v)

    return progress


@pytest.mark.parametrize("fail_at", [10, 20])
def test_dry_run_report_failing_before_its_first_sheet_leaves_no_file(tmp_path, capsys, fail_at):
    folder = tmp_path / "prog"
    folder.mkdir()
    p = VBAParser()
    p.parse_files(str(folder))  # no modules: no issue rows, the first sheets are not written
    out = tmp_path / "out"
    out.mkdir()
    with pytest.raises(Stop) as raised:
        Tabwick().generate_dry_run_report(stop_at(fail_at), p, str(out))
    assert raised.value.args == (fail_at,) and raised.value.__context__ is None
    assert os.listdir(out) == []


def test_report_failing_after_a_sheet_keeps_the_sheets_written(tmp_path, capsys):
    folder = tmp_path / "prog"
    folder.mkdir()
    (folder / "m1.bas").write_text('Attribute VB_Name = "m1"\nPublic counter As Long\n')
    p = VBAParser()
    p.parse_files(str(folder))
    out = tmp_path / "out"
    out.mkdir()
    with pytest.raises(Stop):
        Tabwick().generate_dry_run_report(stop_at(20), p, str(out))
    (name,) = os.listdir(out)
    assert openpyxl.load_workbook(out / name).sheetnames == ["Global Variables"]


def test_refactor_report_failing_before_its_first_sheet_leaves_no_file(tmp_path, capsys):
    class Broken(dict):
        def items(self):
            raise Stop("items")

    with pytest.raises(Stop):
        Tabwick().generate_refactor_report(Broken(), str(tmp_path))
    assert os.listdir(tmp_path) == []
