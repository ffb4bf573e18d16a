"""The refactorer object, its change records and the automatic refactoring."""
import collections
import os
import re

import pytest

from tallowby.quillon.quillon import VBAParser, VBTRefactorer

STAMP = r"\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}"

PROGRAM = """\
Public counter As Long
Public g_Done_bool As Boolean
Private helper As String
Public Type Point
    x As Long
End Type
Public Type type_Ok
    y As Long
End Type
Public Enum Color
    Red
End Enum
Sub First()
    Dim result As Long
    result = counter + helper
End Sub
Sub Second()
    Dim result As Long
    result = 2
End Sub
"""


def parsed(vba_folder, capsys, text=PROGRAM):
    folder = vba_folder({"m.bas": text})
    p = VBAParser()
    p.parse_files(folder)
    capsys.readouterr()
    return folder, p


def test_add_change_makes_each_type_once():
    r = VBTRefactorer(VBAParser())
    assert isinstance(r.changes_made, collections.defaultdict) and dict(r.changes_made) == {}
    first, second = {"a": 1}, {"b": 2}
    r._add_change("local_variable", first)
    r._add_change("local_variable", second)
    r._add_change("global_variable", {})
    assert list(r.changes_made) == ["local_variable", "global_variable"]
    assert r.changes_made["local_variable"][0] is first and r.changes_made["local_variable"][1] is second
    # a change map with a default is a map too
    r._add_change("x", collections.defaultdict(list))


@pytest.mark.parametrize("args, message", [
    ((1, {}), "Argument 'change_type' has incorrect type (expected str, got int)"),
    (("t", [("a", 1)]), "Argument 'change_info' has incorrect type (expected dict, got list)"),
    (("t",), "VBTRefactorer._add_change() missing 1 required positional argument: 'change_info'"),
])
def test_add_change_argument_errors(args, message):
    r = VBTRefactorer(VBAParser())
    with pytest.raises(TypeError) as e:
        r._add_change(*args)
    assert str(e.value) == message and dict(r.changes_made) == {}


def test_constructor_keeps_parser_without_reading_it():
    sentinel = object()
    assert VBTRefactorer(sentinel).parser is sentinel
    assert VBTRefactorer(parser=sentinel).parser is sentinel
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'parser'"):
        VBTRefactorer()


def test_refactor_all_issues(vba_folder, capsys):
    folder, p = parsed(vba_folder, capsys)
    path = os.path.join(folder, "m.bas")
    r = VBTRefactorer(p)
    assert r.refactor_all_issues() is True
    out = capsys.readouterr().out.splitlines()
    assert out[0] == "开始自动重构..." and out[-1] == "自动重构完成！"
    assert out[1].startswith(f"已备份文件: {path}.backup_") and out[2:4] == [f"已修改文件: {path}",
                                                                            "  - 更新了 5 个变量名的所有引用"]
    assert list(r.changes_made) == ["global_variable", "module_variable", "local_variable", "type_definition",
                                    "enum_definition"]
    records = [(t, c["line_number"], c["original_name"], c["new_name"], c["description"])
               for t, cs in r.changes_made.items() for c in cs]
    assert records == [
        ("global_variable", 1, "counter", "g_Counter_lng", "全局变量 'counter' 重命名为 'g_Counter_lng'"),
        ("module_variable", 3, "helper", "m_Helper_str", "模块变量 'helper' 重命名为 'm_Helper_str'"),
        ("local_variable", 14, "result", "Result_lng", "局部变量 'result' 在函数 'First' 中重命名为 'Result_lng'"),
        ("local_variable", 18, "result", "Result_lng", "局部变量 'result' 在函数 'Second' 中重命名为 'Result_lng'"),
        ("type_definition", 4, "Point", "type_Point", "Type定义 'Point' 重命名为 'type_Point'"),
        ("enum_definition", 10, "Color", "enum_Color", "Enum定义 'Color' 重命名为 'enum_Color'"),
    ]
    for cs in r.changes_made.values():
        for c in cs:
            assert list(c) == ["file_path", "line_number", "original_name", "new_name", "description", "timestamp"]
            assert c["file_path"] == path and re.fullmatch(STAMP, c["timestamp"])
    text = open(path).read()
    assert "Public g_Counter_lng As Long" in text and "Result_lng = g_Counter_lng + m_Helper_str" in text
    assert "Public Type type_Point" in text and "Public Enum enum_Color" in text and "type_Ok" in text


def test_second_run_refuses_modules_rewritten_since_the_parse(vba_folder, capsys):
    folder, p = parsed(vba_folder, capsys)
    path = os.path.join(folder, "m.bas")
    r = VBTRefactorer(p)
    assert r.refactor_all_issues() is True
    once = open(path).read()
    first = [c for cs in r.changes_made.values() for c in cs]
    capsys.readouterr()
    assert r.refactor_all_issues() is False
    out = capsys.readouterr().out
    assert f"无法修改文件 {path}: 文件在解析之后已被修改" in out and out.count("未应用 ") == 6
    assert open(path).read() == once and [c for cs in r.changes_made.values() for c in cs] == first
    backups = [n for n in os.listdir(folder) if ".backup_" in n]
    assert len(backups) == 1 and open(os.path.join(folder, backups[0])).read() == PROGRAM


def test_model_without_issues_touches_nothing(vba_folder, capsys):
    text = "Public g_Done_bool As Boolean\nPublic Enum enum_Color\n    Red\nEnd Enum\n"
    folder, p = parsed(vba_folder, capsys, text)
    r = VBTRefactorer(p)
    assert r.refactor_all_issues() is True
    assert capsys.readouterr().out == "开始自动重构...\n自动重构完成！\n"
    assert dict(r.changes_made) == {} and os.listdir(folder) == ["m.bas"]


def test_a_subclass_replaces_the_steps_of_the_automatic_refactoring(vba_folder, capsys):
    _, p = parsed(vba_folder, capsys)
    steps = []

    class Careful(VBTRefactorer):
        def _refactor_type_definitions(self):
            steps.append("types left alone")

        def _add_change(self, change_type, change_info):
            if change_type != "module_variable":
                super()._add_change(change_type, change_info)

        def _apply_all_changes(self):
            steps.append(sorted(self.changes_made))

    r = Careful(p)
    assert r.refactor_all_issues() is True
    assert steps == ["types left alone", ["enum_definition", "global_variable", "local_variable"]]

    r = VBTRefactorer(p)
    r._add_change = lambda change_type, change_info: steps.append(change_type)  # the object's own
    r._apply_all_changes = lambda: None
    r.refactor_all_issues()
    assert steps[2:] == ["global_variable", "module_variable", "local_variable", "local_variable",
                         "type_definition", "enum_definition"]


def test_a_subclass_replaces_the_passes_of_the_parser(vba_folder, capsys):
    folder, _ = parsed(vba_folder, capsys)

    class NoReferences(VBAParser):
        def _collect_variable_references(self):
            self.variable_references["marker"] = []

    p = NoReferences()
    p.parse_files(folder)
    assert list(p.variable_references) == ["marker"]
