"""Applying recorded renames to the modules: backup, reference pass, declaration pass, rewrite."""
import os
import re
import time

import pytest

from tallowby.quillon.quillon import VBAParser, VBTRefactorer


def refactorer(folder, capsys=None):
    p = VBAParser()
    p.parse_files(folder)
    if capsys:
        capsys.readouterr()
    return VBTRefactorer(p)


def rename(r, path, line, old, new, kind="local_variable"):
    r._add_change(kind, {"file_path": path, "line_number": line, "original_name": old, "new_name": new,
                         "description": "d", "timestamp": "t"})


def backups(folder):
    return sorted(n for n in os.listdir(folder) if ".backup_" in n)


MODULE = """\
Attribute VB_Name = "m1"
Public a As Long
Private Const LIMIT As Long = a + 1
Public Type Rec
    a As Long
End Type
Public Function Run(ByVal a As Long) As Long
    Dim b As Long: b = a
    a = a + A + a_x + x_a + aé + éa ' a comment
    Debug.Print "a"; Run(a)
    Run = Run + 1
    If a Then Me = a
End Function
"""


def test_uses_and_declaration_renamed_other_lines_kept(vba_folder, capsys):
    folder = vba_folder({"m1.bas": MODULE})
    path = os.path.join(folder, "m1.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 2, "a", "g_A_lng")
    rename(r, path, 7, "Run", "Run_new")    # a procedure of the module: uses keep the name
    rename(r, path, 12, "Me", "Me_obj")     # a VBA keyword: uses keep the name
    r._apply_all_changes()
    (backup,) = backups(folder)
    assert re.fullmatch(r"m1\.bas\.backup_\d{8}_\d{6}", backup)
    assert capsys.readouterr().out.splitlines() == [
        f"已备份文件: {os.path.join(folder, backup)}", f"已修改文件: {path}", "  - 更新了 3 个变量名的所有引用"]
    assert open(os.path.join(folder, backup), encoding="utf-8").read() == MODULE
    assert open(path, encoding="utf-8").read() == """\
Attribute VB_Name = "m1"
Public g_A_lng As Long
Private Const LIMIT As Long = a + 1
Public Type Rec
    g_A_lng As Long
End Type
Public Function Run_new(ByVal a As Long) As Long
    Dim b As Long: b = a
    g_A_lng = g_A_lng + A + a_x + x_a + aé + éa ' g_A_lng comment
    Debug.Print "g_A_lng"; Run(g_A_lng)
    Run = Run + 1
    If g_A_lng Then Me_obj = g_A_lng
End Function
"""
    # the parser's lines are the source, and stay as they were
    assert "".join(r.parser.files[path]) == MODULE


def test_chained_and_repeated_names(vba_folder, capsys):
    text = "Sub P()\n    Dim x As Long\n    x = y\nEnd Sub\nSub Q()\n    Dim x As Long\n    y = x\nEnd Sub\n"
    folder = vba_folder({"m.bas": text})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 2, "x", "y")
    rename(r, path, 0, "y", "z")        # line 0: no declaration, uses still renamed
    rename(r, path, 6, "x", "x_lng")    # the same name again: uses take the later new name
    rename(r, path, 99, "Dim", "D")     # outside the module: nothing for the declaration
    r._apply_all_changes()
    assert open(path).read() == ("Sub P()\n    Dim y As Long\n    x_lng = z\nEnd Sub\nSub Q()\n"
                                 "    Dim x_lng As Long\n    z = x_lng\nEnd Sub\n")


@pytest.mark.parametrize("line, new", [
    ("x = a(1) + b\n", "x = a(1) + b\n"),             # a name with bounds counts only before a word character
    ("x = a(1)b + b\n", "x = NEWb + b\n"),
    ("End Type a(1)b\n", "End Type NEWb\n"),           # End Type / End Enum lines are not skipped
    ("Type a(1)b\n", "Type a(1)b\n"),
    ("  End Sub a(1)b\n", "  End Sub a(1)b\n"),
    ("Private Sub S(a(1)b)\n", "Private Sub S(a(1)b)\n"),
])
def test_names_that_end_in_other_characters(vba_folder, capsys, line, new):
    folder = vba_folder({"m.bas": "Sub S()\n" + line})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 0, "a(1)", "NEW")
    r._apply_all_changes()
    assert open(path).read() == "Sub S()\n" + new


def test_replacement_inserted_as_written(vba_folder, capsys):
    folder = vba_folder({"m.bas": "x = 1\n"})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 1, "x", r"a\1\g<0>$")
    r._apply_all_changes()
    assert open(path).read() == "a\\1\\g<0>$ = 1\n"


def test_crlf_module_comes_back_with_line_feeds(vba_folder, capsys):
    folder = vba_folder({"m.bas": b"Dim a As Long\r\na = 1\r\n"})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 1, "a", "b")
    r._apply_all_changes()
    (backup,) = backups(folder)
    assert open(os.path.join(folder, backup), "rb").read() == b"Dim a As Long\na = 1\n"
    assert open(path, "rb").read() == b"Dim b As Long\nb = 1\n"


def test_unchanged_module_is_still_backed_up_and_written(vba_folder, capsys):
    folder = vba_folder({"m.bas": "q = 1\n"})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 1, "nothing", "here")
    r._apply_all_changes()
    out = capsys.readouterr().out.splitlines()
    assert len(backups(folder)) == 1 and out[1:] == [f"已修改文件: {path}", "  - 更新了 1 个变量名的所有引用"]


def test_module_not_valid_utf8_is_left_alone(vba_folder, capsys):
    data = b"a = 1\n\xff\n"
    folder = vba_folder({"bad.bas": data, "good.bas": "a = 1\n"})
    bad, good = os.path.join(folder, "bad.bas"), os.path.join(folder, "good.bas")
    r = refactorer(folder, capsys)
    rename(r, bad, 1, "a", "b")
    rename(r, good, 1, "a", "b")
    r._apply_all_changes()
    out = capsys.readouterr().out.splitlines()
    assert out[0].startswith(f"备份文件失败 {bad}: 'utf-8' codec can't decode byte 0xff")
    assert open(bad, "rb").read() == data and open(good).read() == "b = 1\n"
    assert backups(folder) == [n for n in backups(folder) if n.startswith("good.bas")] and len(backups(folder)) == 1


def test_module_that_was_not_parsed_is_passed_over(vba_folder, capsys):
    folder = vba_folder({"m.bas": "a = 1\n"})
    r = refactorer(folder, capsys)
    rename(r, "m.bas", 1, "a", "b")  # relative where the parser keeps the folder text
    r._apply_all_changes()
    assert capsys.readouterr().out == "" and backups(folder) == []


def test_text_that_cannot_be_written_leaves_module_intact(vba_folder, capsys):
    folder = vba_folder({"m.bas": "a = 1\nc = 2\n"})
    path = os.path.join(folder, "m.bas")
    r = refactorer(folder, capsys)
    rename(r, path, 1, "a", "bad\ud800")
    r._apply_all_changes()
    out = capsys.readouterr().out.splitlines()
    assert out[1].startswith(f"写入文件失败 {path}: 'utf-8' codec can't encode")
    assert open(path).read() == "a = 1\nc = 2\n"


def test_backup_of_the_same_second_is_kept(vba_folder, capsys):
    folder = vba_folder({"m.bas": "a = 1\n"})
    path = os.path.join(folder, "m.bas")
    now = time.time()
    taken = [f"{path}.backup_{time.strftime('%Y%m%d_%H%M%S', time.localtime(now + d))}" for d in (0, 1)]
    for name in taken:
        with open(name, "w") as f:
            f.write("earlier backup\n")
    r = refactorer(folder, capsys)
    rename(r, path, 1, "a", "b")
    r._apply_all_changes()
    assert all(open(name).read() == "earlier backup\n" for name in taken)
    (new,) = set(os.path.join(folder, n) for n in backups(folder)) - set(taken)
    assert open(new).read() == "a = 1\n" and capsys.readouterr().out.startswith(f"已备份文件: {new}\n")


@pytest.mark.parametrize("record, error", [
    ({"file_path": None}, TypeError),          # an empty path cell as the workbook gives it is no text
    ({"new_name": ...}, KeyError),
    ({"line_number": "3"}, TypeError),
    ({"original_name": 5}, TypeError),
])
def test_errors_that_end_applying(vba_folder, capsys, record, error):
    folder = vba_folder({"a.bas": "x = 1\n", "b.bas": "x = 1\n"})
    a, b = os.path.join(folder, "a.bas"), os.path.join(folder, "b.bas")
    r = refactorer(folder, capsys)
    bad = {"file_path": a, "line_number": 1, "original_name": "x", "new_name": "y"}
    bad.update(record)
    bad = {k: v for k, v in bad.items() if v is not ...}
    r._add_change("global_variable", bad)
    rename(r, b, 1, "x", "y")
    with pytest.raises(error):
        r._apply_all_changes()
    assert open(b).read() == "x = 1\n"  # later modules are not processed


@pytest.mark.parametrize("line, header, declaration", [
    ("Public Sub Main()", True, True),
    ("  private  function F(x)", True, True),
    ("Function F", True, False),
    ("FunctionF", False, False),
    ("Sub  S", True, False),
    ("Friend Sub S", True, False),
    ("Public Property Get P()", True, True),
    ("Global Const X = 1", False, True),
    ("dim x", False, True),
    ("Dimension x", False, False),
    ("Const\tX = 1", False, True),
    ("x = 1", False, False),
])
def test_line_tests(line, header, declaration):
    r = VBTRefactorer(VBAParser())
    assert r._is_function_definition(line) is header
    assert r._is_variable_declaration(line) is declaration


def test_reference_pass_in_place():
    r = VBTRefactorer(VBAParser())
    lines = ["x = y\n", "Dim x\n", "Type x\n", "End Function x\n", "  End Type x"]
    r._apply_variable_references_to_file(lines, {"x": "y", "y": "z"}, "m.bas")
    assert lines == ["z = z\n", "Dim x\n", "Type x\n", "End Function x\n", "  End Type z"]


@pytest.mark.parametrize("call, message", [
    (lambda r: r._apply_changes_to_file(b"m.bas", []), "Argument 'file_path' has incorrect type (expected str, got bytes)"),
    (lambda r: r._apply_changes_to_file("m.bas", ()), "Argument 'changes' has incorrect type (expected list, got tuple)"),
    (lambda r: r._apply_variable_references_to_file([], [], "m"),
     "Argument 'var_name_mapping' has incorrect type (expected dict, got list)"),
    (lambda r: r._is_variable_declaration(None), "Argument 'line' has incorrect type (expected str, got NoneType)"),
    (lambda r: r._apply_all_changes(1), "VBTRefactorer._apply_all_changes() takes 1 positional argument but 2 were given"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as e:
        call(VBTRefactorer(VBAParser()))
    assert str(e.value) == message


def test_reference_pass_same_with_and_without_the_word_run_filter():
    # A mapping of plain words takes the filtered path; one name that is not a
    # word run (it never occurs) makes the pass try every entry on every line.
    import random

    rnd = random.Random(7)
    words = ["a", "b", "ab", "x_1", "Ünï", "End", "i", "b2", "c"]
    seps = [" ", "(", ")", ".", "+", "'", "\t", "_", "ä", ""]
    lines = []
    for _ in range(400):
        text = "".join(rnd.choice(words) + rnd.choice(seps) for _ in range(rnd.randint(0, 8)))
        lines.append(rnd.choice(["", "    ", "Dim ", "Type "]) + text + rnd.choice(["\n", ""]))
    mapping = {"a": "b", "b": "c", "x_1": "a", "Ünï": "ab", "End": "x", "i": "i_new"}
    r = VBTRefactorer(VBAParser())
    filtered, full = list(lines), list(lines)
    r._apply_variable_references_to_file(filtered, dict(mapping), "m.bas")
    r._apply_variable_references_to_file(full, {**mapping, "[never]": "y"}, "m.bas")
    assert filtered == full and filtered != lines
