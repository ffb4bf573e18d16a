import collections
import os
import re

import pytest

from tallowby.quillon.tabwick import Tabwick

from report_books import sheets_of

CHANGES_HEADER = ["修改类型", "文件路径", "行号", "原名称", "新名称", "修改描述", "修改时间"]


def change(line, old, new, description="renamed"):
    record = {"file_path": "m.bas", "line_number": line, "original_name": old, "new_name": new,
              "description": description, "timestamp": "2025-03-05 14:07:09"}
    if description is None:
        del record["description"]
    return record


def report(capsys, changes, *args):
    capsys.readouterr()
    path = Tabwick().generate_refactor_report(changes, *args)
    assert capsys.readouterr().out == f"正在生成重构报告: {path}\n重构报告已生成: {path}\n"
    assert re.fullmatch(r"VBT_Refactor_Report_\d{8}_\d{6}\.xlsx", os.path.basename(path))
    return sheets_of(path)


def test_changes_in_map_order(tmp_path, capsys):
    changes = collections.defaultdict(list)
    changes["global_variable"].append(change(2, "counter", "g_Counter_lng"))
    changes["local_variable"] += [change(7, "i", "i_lng", None), change(9, "j", "j_lng")]
    changes["enum_definition"]  # present with no records
    sheets = report(capsys, changes, str(tmp_path))
    assert list(sheets) == ["Refactor Changes", "Refactor Summary"]
    assert sheets["Refactor Changes"] == [
        CHANGES_HEADER,
        ["global_variable", "m.bas", 2, "counter", "g_Counter_lng", "renamed", "2025-03-05 14:07:09"],
        ["local_variable", "m.bas", 7, "i", "i_lng", None, "2025-03-05 14:07:09"],
        ["local_variable", "m.bas", 9, "j", "j_lng", "renamed", "2025-03-05 14:07:09"],
    ]
    assert sheets["Refactor Summary"] == [["修改类型", "修改数量"], ["global_variable", 1], ["local_variable", 2],
                                          ["enum_definition", 0], ["总计", 3]]


def test_no_changes(tmp_path, capsys, monkeypatch):
    monkeypatch.chdir(tmp_path)
    sheets = report(capsys, {})
    assert sheets == {"Refactor Summary": [["修改类型", "修改数量"], ["总计", 0]]}
    assert [p.name for p in tmp_path.iterdir()][0].startswith("VBT_Refactor_Report_")


def test_default_folder_path(tmp_path, capsys, monkeypatch):
    monkeypatch.chdir(tmp_path)
    path = Tabwick().generate_refactor_report({})
    assert path.startswith("./VBT_Refactor_Report_")


@pytest.mark.parametrize("changes, error", [
    ({"global_variable": [["not", "a", "map"]]}, AttributeError),
    ({"global_variable": 5}, TypeError),
])
def test_bad_records_propagate(tmp_path, capsys, changes, error):
    # The record's own error reaches the caller, not the workbook library's
    # complaint about a workbook without sheets, and no file is left behind.
    with pytest.raises(error) as e:
        Tabwick().generate_refactor_report(changes, str(tmp_path))
    assert e.value.__context__ is None
    assert list(tmp_path.iterdir()) == []
    assert "重构报告已生成" not in capsys.readouterr().out


def test_argument_errors(tmp_path, capsys):
    with pytest.raises(TypeError) as e:
        Tabwick().generate_refactor_report({}, None)
    assert str(e.value) == "Argument 'output_dir' has incorrect type (expected str, got NoneType)"
    with pytest.raises(TypeError) as e:
        Tabwick()._write_refactor_summary_sheet(None, {}, 3)
    assert str(e.value) == "Argument 'sheet_name' has incorrect type (expected str, got int)"
    assert capsys.readouterr().out == ""
    with pytest.raises(OSError, match="non-existent directory"):
        Tabwick().generate_refactor_report({}, str(tmp_path / "missing"))
