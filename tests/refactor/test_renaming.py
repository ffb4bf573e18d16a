"""Applying recorded renames to the modules: byte for byte, within each name's scope, honest about refusals."""
import os
import re
import stat
import time

import pytest

from tallowby.quillon.quillon import VBAParser, VBTRefactorer

LABELS = {"g": "全局变量", "m": "模块变量", "l": "局部变量", "t": "Type定义", "e": "Enum定义"}
KINDS = {"g": "global_variable", "m": "module_variable", "l": "local_variable", "t": "type_definition",
         "e": "enum_definition"}


def parse(folder, capsys=None):
    """A refactorer over a fresh parse of the folder."""
    p = VBAParser()
    p.parse_files(folder)
    if capsys:
        capsys.readouterr()
    return VBTRefactorer(p)


def record(r, kind, path, line, old, new):
    change = {"file_path": path, "line_number": line, "original_name": old, "new_name": new,
              "description": "d", "timestamp": "t"}
    r._add_change(KINDS[kind], change)
    return change


def backups(folder):
    return sorted(n for n in os.listdir(folder) if ".backup_" in n)


def modules_of(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in os.listdir(folder) if n.endswith(".bas")}


def crlf(text):
    return text.replace("\n", "\r\n").encode("utf-8")


# Each case: modules (name -> bytes), renames (kind, module, line, old, new), the modules expected after.
CASES = {
    "crlf module without a final line end": (
        {"m.bas": b'Attribute VB_Name = "m"\r\nPublic total As Long\r\nSub S()\r\n    total = total + 1\r\nEnd Sub'},
        [("g", "m.bas", 2, "total", "g_Total_lng")],
        {"m.bas": b'Attribute VB_Name = "m"\r\nPublic g_Total_lng As Long\r\nSub S()\r\n    g_Total_lng = g_Total_lng + 1'
                  b'\r\nEnd Sub'},
    ),
    "mixed line ends": (
        {"m.bas": b"Private count As Long\r\nSub S()\n    count = 1\r    Debug.Print count\r\nEnd Sub\n"},
        [("m", "m.bas", 1, "count", "m_Count_lng")],
        {"m.bas": b"Private m_Count_lng As Long\r\nSub S()\n    m_Count_lng = 1\r    Debug.Print m_Count_lng\r\nEnd Sub\n"},
    ),
    "BOM kept": (
        {"m.bas": b"\xef\xbb\xbfPublic total As Long\r\nSub S()\r\n    total = 2\r\nEnd Sub\r\n"},
        [("g", "m.bas", 1, "total", "g_Total_lng")],
        {"m.bas": b"\xef\xbb\xbfPublic g_Total_lng As Long\r\nSub S()\r\n    g_Total_lng = 2\r\nEnd Sub\r\n"},
    ),
    "GBK module": (
        {"m.bas": 'Attribute VB_Name = "m"\r\n\' 计数器 total\r\nPublic total As Long\r\nSub S()\r\n'
                  '    MsgBox "总数 total: " & total \' 显示 total\r\nEnd Sub\r\n'.encode("gb18030")},
        [("g", "m.bas", 3, "total", "g_Total_lng")],
        {"m.bas": 'Attribute VB_Name = "m"\r\n\' 计数器 g_Total_lng\r\nPublic g_Total_lng As Long\r\nSub S()\r\n'
                  '    MsgBox "总数 total: " & g_Total_lng \' 显示 g_Total_lng\r\nEnd Sub\r\n'.encode("gb18030")},
    ),
    "Big5 module": (
        {"m.bas": 'Attribute VB_Name = "m"\r\nSub 列印會員名冊()\r\n    Dim 名冊 As String, total As Long\r\n'
                  '    total = total + 1 \' 會員 total\r\nEnd Sub\r\n'.encode("cp950")},
        [("l", "m.bas", 3, "total", "Total_lng")],
        {"m.bas": 'Attribute VB_Name = "m"\r\nSub 列印會員名冊()\r\n    Dim 名冊 As String, Total_lng As Long\r\n'
                  '    Total_lng = Total_lng + 1 \' 會員 Total_lng\r\nEnd Sub\r\n'.encode("cp950")},
    ),
    "string literals": (
        {"m.bas": b'Sub S()\n    Dim html As String\n    html = "alerts.html" & "say ""html"" here" & html\n'
                  b'    Debug.Print html; "html"\nEnd Sub\n'},
        [("l", "m.bas", 2, "html", "Html_str")],
        {"m.bas": b'Sub S()\n    Dim Html_str As String\n    Html_str = "alerts.html" & "say ""html"" here" & Html_str\n'
                  b'    Debug.Print Html_str; "html"\nEnd Sub\n'},
    ),
    "members, With, bang and named arguments": (
        {"m.bas": b"Sub S()\n    Dim name As String, value As Long\n    name = obj.name & rs!name & obj _\n"
                  b"        .name\n    With obj\n        .value = value\n    End With\n"
                  b"    Call Foo(name:=name, value:=value)\nEnd Sub\n"},
        [("l", "m.bas", 2, "name", "Name_str"), ("l", "m.bas", 2, "value", "Value_lng")],
        {"m.bas": b"Sub S()\n    Dim Name_str As String, Value_lng As Long\n    Name_str = obj.name & rs!name & obj _\n"
                  b"        .name\n    With obj\n        .value = Value_lng\n    End With\n"
                  b"    Call Foo(name:=Name_str, value:=Value_lng)\nEnd Sub\n"},
    ),
    "procedures sharing a local name, a parameter of that name and a module variable": (
        {"m.bas": b"Private i As Long\nSub A()\n    Dim i As Long\n    i = 1\nEnd Sub\nSub B()\n    Dim i As Integer\n"
                  b"    i = I + 2\nEnd Sub\nSub C(ByVal i As Long)\n    Debug.Print i\nEnd Sub\nSub D()\n    i = 3\nEnd Sub\n"},
        [("l", "m.bas", 3, "i", "I_lng"), ("l", "m.bas", 7, "i", "I_int"), ("m", "m.bas", 1, "i", "m_I_lng")],
        {"m.bas": b"Private m_I_lng As Long\nSub A()\n    Dim I_lng As Long\n    I_lng = 1\nEnd Sub\nSub B()\n"
                  b"    Dim I_int As Integer\n    I_int = I_int + 2\nEnd Sub\nSub C(ByVal i As Long)\n    Debug.Print i\n"
                  b"End Sub\nSub D()\n    m_I_lng = 3\nEnd Sub\n"},
    ),
    "a global used in three modules": (
        {"m1.bas": b'Attribute VB_Name = "Main"\nPublic limit As Long\nSub Init()\n    limit = 10\nEnd Sub\n',
         "m2.bas": b"Sub Check()\n    If x > limit Or y > Main.limit Then Exit Sub\nEnd Sub\n",
         "m3.bas": b"Private limit As Integer\nSub Own()\n    limit = 1\n    Main.limit = 2\nEnd Sub\n",
         "m4.bas": b"Sub Loc()\n    Dim limit As Long\n    limit = 5\nEnd Sub\nSub Uses()\n    Debug.Print LIMIT\nEnd Sub\n"},
        [("g", "m1.bas", 2, "limit", "g_Limit_lng")],
        {"m1.bas": b'Attribute VB_Name = "Main"\nPublic g_Limit_lng As Long\nSub Init()\n    g_Limit_lng = 10\nEnd Sub\n',
         "m2.bas": b"Sub Check()\n    If x > g_Limit_lng Or y > Main.g_Limit_lng Then Exit Sub\nEnd Sub\n",
         "m3.bas": b"Private limit As Integer\nSub Own()\n    limit = 1\n    Main.g_Limit_lng = 2\nEnd Sub\n",
         "m4.bas": b"Sub Loc()\n    Dim limit As Long\n    limit = 5\nEnd Sub\nSub Uses()\n    Debug.Print g_Limit_lng\n"
                   b"End Sub\n"},
    ),
    "a Type and an Enum used in declarations and headers": (
        {"t.bas": b'Attribute VB_Name = "Shapes"\nPublic Type Point\n    x As Long\n    Point As Long\nEnd Type\n'
                  b"Public Enum Color\n    Red = 1\n    Green\nEnd Enum\nPublic origin As Point\n"
                  b"Function Shift(p As Point, ByVal c As Color) As Point\n    Dim q As Point: q = p\n"
                  b"    If c = Color.Red Then q.x = q.x + 1\n    Shift = q\nEnd Function\n",
         "u.bas": b"Sub T()\n    Dim pts(1 To 3) As Point, n As Long\n    ReDim more(n) As Shapes.Point\n"
                  b"    Dim c As Shapes.Color\nEnd Sub\n"},
        [("t", "t.bas", 2, "Point", "type_Point"), ("e", "t.bas", 6, "Color", "enum_Color")],
        {"t.bas": b'Attribute VB_Name = "Shapes"\nPublic Type type_Point\n    x As Long\n    Point As Long\nEnd Type\n'
                  b"Public Enum enum_Color\n    Red = 1\n    Green\nEnd Enum\nPublic origin As type_Point\n"
                  b"Function Shift(p As type_Point, ByVal c As enum_Color) As type_Point\n    Dim q As type_Point: q = p\n"
                  b"    If c = enum_Color.Red Then q.x = q.x + 1\n    Shift = q\nEnd Function\n",
         "u.bas": b"Sub T()\n    Dim pts(1 To 3) As type_Point, n As Long\n    ReDim more(n) As Shapes.type_Point\n"
                  b"    Dim c As Shapes.enum_Color\nEnd Sub\n"},
    ),
    "uses on declaration lines": (
        {"m.bas": b"Private Const BASE As Long = 10\nPrivate Const LIMIT As Long = BASE * 2, TOP = BASE + LIMIT\n"
                  b"Sub S()\n    Dim b As Long: b = BASE\n    Dim arr(BASE) As Long\nEnd Sub\n"},
        [("m", "m.bas", 1, "BASE", "BASE_COUNT")],
        {"m.bas": b"Private Const BASE_COUNT As Long = 10\nPrivate Const LIMIT As Long = BASE_COUNT * 2, "
                  b"TOP = BASE_COUNT + LIMIT\nSub S()\n    Dim b As Long: b = BASE_COUNT\n    Dim arr(BASE_COUNT) As Long\n"
                  b"End Sub\n"},
    ),
    "comments in the scope, as written": (
        {"m.bas": b"' counter of runs\nPublic counter As Long\nSub S()\n    counter = 1 ' Counter counter x.counter\n"
                  b"End Sub\nSub T()\n    Dim counter As Long ' counter here is local\nEnd Sub\n"},
        [("g", "m.bas", 2, "counter", "g_Counter_lng")],
        {"m.bas": b"' g_Counter_lng of runs\nPublic g_Counter_lng As Long\nSub S()\n"
                  b"    g_Counter_lng = 1 ' Counter g_Counter_lng x.g_Counter_lng\nEnd Sub\nSub T()\n"
                  b"    Dim counter As Long ' counter here is local\nEnd Sub\n"},
    ),
    "labels, Rem, line continuations, date literals and type suffixes": (
        {"m.bas": b"Sub S()\n    Dim done As Boolean, pm As Long, s$\n    On Error GoTo done\n"
                  b"    pm = #1/2/2003 12:30:00 PM# + pm\n    If done Then GoTo done Else s$ = s & \"pm\"\n"
                  b"    Rem done, pm\n    Debug.Print pm, _\n        done\ndone:\nEnd Sub\n"},
        [("l", "m.bas", 2, "done", "Done_bool"), ("l", "m.bas", 2, "pm", "Pm_lng"), ("l", "m.bas", 2, "s", "S_str")],
        {"m.bas": b"Sub S()\n    Dim Done_bool As Boolean, Pm_lng As Long, S_str$\n    On Error GoTo done\n"
                  b"    Pm_lng = #1/2/2003 12:30:00 PM# + Pm_lng\n    If Done_bool Then GoTo done Else S_str$ = S_str & \"pm\"\n"
                  b"    Rem Done_bool, Pm_lng\n    Debug.Print Pm_lng, _\n        Done_bool\ndone:\nEnd Sub\n"},
    ),
    "Property procedures": (
        {"m.bas": b"Private pPath As String\nPublic Property Get Path() As String\n    Dim i As Long\n"
                  b"    For i = 1 To 2: Path = pPath & i: Next i\nEnd Property\nPublic Property Let Path(ByVal v As String)\n"
                  b"    pPath = v\nEnd Property\nSub S()\n    i = 0\nEnd Sub\n"},
        [("l", "m.bas", 3, "i", "I_lng"), ("m", "m.bas", 1, "pPath", "m_Path_str")],
        {"m.bas": b"Private m_Path_str As String\nPublic Property Get Path() As String\n    Dim I_lng As Long\n"
                  b"    For I_lng = 1 To 2: Path = m_Path_str & I_lng: Next I_lng\nEnd Property\n"
                  b"Public Property Let Path(ByVal v As String)\n    m_Path_str = v\nEnd Property\nSub S()\n    i = 0\nEnd Sub\n"},
    ),
    "names swapped and chained": (
        {"m.bas": b"Sub S()\n    Dim x As Long, y As Long, z As Long\n    x = y + z\nEnd Sub\n"},
        [("l", "m.bas", 2, "x", "y"), ("l", "m.bas", 2, "y", "x"), ("l", "m.bas", 2, "z", "w")],
        {"m.bas": b"Sub S()\n    Dim y As Long, x As Long, w As Long\n    y = x + w\nEnd Sub\n"},
    ),
    "one local declared twice under #If": (
        {"m.bas": b"Sub S()\n#If Win64 Then\n    Dim h As LongPtr\n#Else\n    Dim h As Long\n#End If\n    h = 0\nEnd Sub\n"},
        [("l", "m.bas", 3, "h", "Handle_var"), ("l", "m.bas", 5, "h", "Handle_var")],
        {"m.bas": b"Sub S()\n#If Win64 Then\n    Dim Handle_var As LongPtr\n#Else\n    Dim Handle_var As Long\n#End If\n"
                  b"    Handle_var = 0\nEnd Sub\n"},
    ),
}


@pytest.mark.parametrize("modules, renames, expected", CASES.values(), ids=CASES.keys())
def test_rewritten_byte_for_byte(vba_folder, capsys, modules, renames, expected):
    folder = vba_folder(modules)
    r = parse(folder, capsys)
    made = [record(r, kind, os.path.join(folder, m), line, old, new) for kind, m, line, old, new in renames]
    r._apply_all_changes()
    out = capsys.readouterr().out
    assert "未应用" not in out and "无法修改" not in out
    assert modules_of(folder) == expected
    for name, data in modules.items():
        copies = [b for b in backups(folder) if b.startswith(name + ".backup_")]
        assert len(copies) == (expected[name] != data)
        assert all(open(os.path.join(folder, b), "rb").read() == data for b in copies)
    assert [c for cs in r.changes_made.values() for c in cs] == made


def test_printed_lines_and_backup_name(vba_folder, capsys):
    folder = vba_folder({"a.bas": "Public g As Long\n", "b.bas": "Sub S()\n    g = 1\nEnd Sub\n"})
    r = parse(folder, capsys)
    record(r, "g", os.path.join(folder, "a.bas"), 1, "g", "g_G_lng")
    r._apply_all_changes()
    assert all(re.fullmatch(r"[ab]\.bas\.backup_\d{8}_\d{6}", b) for b in backups(folder))
    first, second = r.parser.files  # modules in the order they were parsed
    copies = [os.path.join(folder, b) for path in (first, second) for b in backups(folder)
              if b.startswith(os.path.basename(path))]
    assert capsys.readouterr().out.splitlines() == [
        f"已备份文件: {copies[0]}", f"已备份文件: {copies[1]}",
        f"已修改文件: {first}", "  - 更新了 1 个变量名的所有引用", f"已修改文件: {second}", "  - 更新了 1 个变量名的所有引用"]


NOT_NAME = "不是合法的VBA标识符（须以字母开头，只含字母、数字和下划线，最多255个字符）"
PROGRAM = {
    "a.bas": b"Public total As Long\nPrivate count As Long\nSub Run()\n    Dim i As Long, n As Long\n"
             b"    i = total + count + n\nEnd Sub\nSub count2()\nEnd Sub\n",
    "b.bas": b"Sub Other()\n    Dim used As Long\n    used = total + helper\nEnd Sub\n",
}


@pytest.mark.parametrize("rename, reason", [
    (("l", "a.bas", 4, "i", "1i"), "新名称 '1i' " + NOT_NAME),
    (("l", "a.bas", 4, "i", "i j"), "新名称 'i j' " + NOT_NAME),
    (("l", "a.bas", 4, "i", "_i"), "新名称 '_i' " + NOT_NAME),
    (("l", "a.bas", 4, "i", "x" * 256), f"新名称 '{'x' * 256}' " + NOT_NAME),
    (("l", "a.bas", 4, "i", "If"), "新名称 'If' 是VBA的保留字"),
    (("l", "a.bas", 4, "i", "string"), "新名称 'string' 是VBA的保留字"),
    (("l", "a.bas", 4, "i(1)", "j"), "原名称 'i(1)' 不是合法的VBA标识符"),
    (("l", "c.bas", 4, "i", "j"), "文件不在本次解析的模块中"),
    (("l", "a.bas", 5, "i", "j"), "第 5 行没有声明局部变量 'i'"),             # a use, not the declaration
    (("g", "a.bas", 4, "i", "j"), "第 4 行没有声明全局变量 'i'"),             # a local, not a global
    (("l", "a.bas", 40, "i", "j"), "行号不在文件之内"),
    (("l", "a.bas", 4, "i", "n"), "新名称 'n' 与 {a} 第 4 行的 'n' 冲突"),     # another local
    (("l", "a.bas", 4, "i", "TOTAL"), "新名称 'TOTAL' 与 {a} 第 5 行的 'total' 冲突"),  # a global used there
    (("l", "a.bas", 4, "i", "run"), "新名称 'run' 与 {a} 第 3 行的 'Run' 冲突"),  # the procedure holding it
    (("m", "a.bas", 2, "count", "Count2"), "新名称 'Count2' 与 {a} 第 7 行的 'count2' 冲突"),  # a procedure
    (("g", "a.bas", 1, "total", "used"), "新名称 'used' 与 {b} 第 2 行的 'used' 冲突"),  # a local where it is used
    (("g", "a.bas", 1, "total", "helper"), "新名称 'helper' 与 {b} 第 3 行的 'helper' 冲突"),  # an undeclared name
    (("g", "a.bas", 1, "total", "a"), "新名称 'a' 与模块名相同"),
])
def test_refused_record_leaves_every_module(vba_folder, capsys, rename, reason):
    folder = vba_folder(PROGRAM)
    a, b = os.path.join(folder, "a.bas"), os.path.join(folder, "b.bas")
    r = parse(folder, capsys)
    kind, module, line, old, new = rename
    record(r, kind, os.path.join(folder, module), line, old, new)
    r._apply_all_changes()
    assert capsys.readouterr().out.splitlines() == [
        f"未应用 {LABELS[kind]} '{old}' -> '{new}' ({os.path.join(folder, module)} 第 {line} 行): "
        + reason.format(a=a, b=b)]
    assert dict(r.changes_made) == {} and modules_of(folder) == PROGRAM and backups(folder) == []


def test_refused_record_others_go_on(vba_folder, capsys):
    folder = vba_folder(PROGRAM)
    a = os.path.join(folder, "a.bas")
    r = parse(folder, capsys)
    bad = record(r, "l", a, 4, "i", "1i")
    good = record(r, "l", a, 4, "n", "N_lng")
    r._apply_all_changes()
    out = capsys.readouterr().out
    assert out.count("未应用 ") == 1 and "'i' -> '1i'" in out
    assert modules_of(folder)["a.bas"] == PROGRAM["a.bas"].replace(b" n ", b" N_lng ").replace(b"+ n\n", b"+ N_lng\n")
    assert r.changes_made["local_variable"] == [good] and bad not in r.changes_made["local_variable"]


TWICE = {"m.bas": b"Sub S()\n#If Win64 Then\n    Dim h As LongPtr\n#Else\n    Dim h As Long\n#End If\n    h = 0\nEnd Sub\n"}


@pytest.mark.parametrize("modules, renames, refused", [
    # two names renamed to one: neither is applied
    (PROGRAM, [("l", "a.bas", 4, "i", "k"), ("l", "a.bas", 4, "n", "k")],
     ["与 'n' 重命名为同一名称 'k'", "与 'i' 重命名为同一名称 'k'"]),
    # one token, two new names: a local declared twice under #If, suggested two names by its two types
    (TWICE, [("l", "m.bas", 3, "h", "H_var"), ("l", "m.bas", 5, "h", "H_lng")],
     ["另一条修改 'h' -> 'H_lng' 要把同一名称改成别的名字", "另一条修改 'h' -> 'H_var' 要把同一名称改成别的名字"]),
])
def test_conflicting_records_both_refused(vba_folder, capsys, modules, renames, refused):
    folder = vba_folder(modules)
    r = parse(folder, capsys)
    for kind, module, line, old, new in renames:
        record(r, kind, os.path.join(folder, module), line, old, new)
    r._apply_all_changes()
    out = [line.split("): ", 1)[1] for line in capsys.readouterr().out.splitlines() if line.startswith("未应用 ")]
    assert out == refused and modules_of(folder) == modules and backups(folder) == []


@pytest.mark.parametrize("change", [
    {"file_path": None},            # an empty path cell as the workbook gives it
    {"line_number": "3"},
    {"line_number": True},
    {"original_name": 5},
    {"new_name": ...},
])
def test_malformed_record_is_refused_not_raised(vba_folder, capsys, change):
    folder = vba_folder(PROGRAM)
    a = os.path.join(folder, "a.bas")
    r = parse(folder, capsys)
    bad = {"file_path": a, "line_number": 1, "original_name": "total", "new_name": "g_Total_lng"}
    bad.update(change)
    r._add_change("global_variable", {k: v for k, v in bad.items() if v is not ...})
    record(r, "m", a, 2, "count", "m_Count_lng")
    r._apply_all_changes()
    assert capsys.readouterr().out.count("未应用 ") == 1
    assert modules_of(folder)["a.bas"] == PROGRAM["a.bas"].replace(b"count ", b"m_Count_lng ").replace(
        b"+ count +", b"+ m_Count_lng +")
    assert list(r.changes_made) == ["module_variable"]


def test_unknown_change_type_is_refused(vba_folder, capsys):
    folder = vba_folder(PROGRAM)
    r = parse(folder, capsys)
    r._add_change("variable", {"file_path": os.path.join(folder, "a.bas"), "line_number": 1,
                               "original_name": "total", "new_name": "g_Total_lng"})
    r._apply_all_changes()
    assert capsys.readouterr().out.splitlines()[-1].endswith(": 未知的修改类型 'variable'")
    assert modules_of(folder) == PROGRAM and dict(r.changes_made) == {}


def make_read_only(path):
    os.chmod(path, stat.S_IRUSR | stat.S_IRGRP)


@pytest.mark.parametrize("spoil, reason", [
    (lambda p, r: open(p, "ab").write(b"' edited\n"), "文件在解析之后已被修改"),
    (lambda p, r: make_read_only(p), "文件只读"),
    (lambda p, r: r.parser.file_encodings.__setitem__(p, "utf-8-lossy"), "文件含有无法解码的字节，无法原样写回"),
    (lambda p, r: open(p, "wb").write("Sub Other()\n    total = 1 ' 改\nEnd Sub\n".encode("gb18030")),
     "文件无法按 utf-8 解码: 'utf-8' codec can't decode byte 0xb8"),
    (lambda p, r: os.remove(p), "读取文件失败: [Errno 2] No such file or directory"),
])
def test_module_that_cannot_be_rewritten_stops_its_records(vba_folder, capsys, spoil, reason):
    modules = {"a.bas": b"Public total As Long\nPrivate count As Long\n", "b.bas": b"Sub Other()\n    total = 1\nEnd Sub\n"}
    folder = vba_folder(modules)
    a, b = os.path.join(folder, "a.bas"), os.path.join(folder, "b.bas")
    r = parse(folder, capsys)
    spoil(b, r)
    before = modules_of(folder)
    record(r, "g", a, 1, "total", "g_Total_lng")  # renames in b too: refused with it
    kept = record(r, "m", a, 2, "count", "m_Count_lng")
    r._apply_all_changes()
    out = capsys.readouterr().out.splitlines()
    assert out[0].startswith(f"无法修改文件 {b}: {reason}")
    assert out[1].startswith(f"未应用 全局变量 'total' -> 'g_Total_lng' ({a} 第 1 行): 文件 {b} 无法修改: {reason}")
    assert out[2:] == [f"已备份文件: {os.path.join(folder, backups(folder)[0])}", f"已修改文件: {a}",
                       "  - 更新了 1 个变量名的所有引用"]
    assert modules_of(folder)["a.bas"] == b"Public total As Long\nPrivate m_Count_lng As Long\n"
    assert modules_of(folder).get("b.bas") == before.get("b.bas")
    assert [c for cs in r.changes_made.values() for c in cs] == [kept]


def test_backup_of_the_same_second_is_kept(vba_folder, capsys):
    folder = vba_folder({"m.bas": b"Public a As Long\n"})
    path = os.path.join(folder, "m.bas")
    now = time.time()
    taken = [f"{path}.backup_{time.strftime('%Y%m%d_%H%M%S', time.localtime(now + d))}" for d in (0, 1)]
    for name in taken:
        with open(name, "w") as f:
            f.write("earlier backup\n")
    r = parse(folder, capsys)
    record(r, "g", path, 1, "a", "g_A_lng")
    r._apply_all_changes()
    assert all(open(name).read() == "earlier backup\n" for name in taken)
    (new,) = set(os.path.join(folder, n) for n in backups(folder)) - set(taken)
    assert open(new, "rb").read() == b"Public a As Long\n" and capsys.readouterr().out.startswith(f"已备份文件: {new}\n")


def test_rewrite_keeps_permissions_and_leaves_no_temporary_file(vba_folder, capsys):
    folder = vba_folder({"m.bas": b"Public a As Long\n"})
    path = os.path.join(folder, "m.bas")
    os.chmod(path, 0o640)
    r = parse(folder, capsys)
    record(r, "g", path, 1, "a", "g_A_lng")
    r._apply_all_changes()
    assert stat.S_IMODE(os.stat(path).st_mode) == 0o640
    assert sorted(os.listdir(folder)) == ["m.bas"] + backups(folder)


def test_written_records_are_not_applied_again(vba_folder, capsys):
    folder = vba_folder({"m.bas": b"Public a As Long\nPublic b As Long\n"})
    path = os.path.join(folder, "m.bas")
    r = parse(folder, capsys)
    first = record(r, "g", path, 1, "a", "g_A_lng")
    r._apply_all_changes()
    r._apply_all_changes()  # nothing new: nothing touched
    assert len(backups(folder)) == 1 and "未应用" not in capsys.readouterr().out
    # a new record on a module rewritten since the parse is refused; the written one stays listed
    record(r, "g", path, 2, "b", "g_B_lng")
    r._apply_all_changes()
    assert "文件在解析之后已被修改" in capsys.readouterr().out
    assert open(path, "rb").read() == b"Public g_A_lng As Long\nPublic b As Long\n"
    assert r.changes_made["global_variable"] == [first]


def test_disk_full_leaves_every_module(small_disk, capsys):
    disk = small_disk("64k")
    a, b = disk.path / "a.bas", disk.path / "b.bas"
    a.write_bytes(b"Public total As Long\n" + b"' filler\n" * 400)
    b.write_bytes(b"Sub S()\n    total = 1\nEnd Sub\n")
    r = parse(str(disk.path), capsys)
    record(r, "g", str(a), 1, "total", "g_Total_lng")
    disk.fill(free_pages=3)  # room for some of the copies, not for all
    assert r.refactor_all_issues() is False
    out = capsys.readouterr().out
    assert "写入文件失败" in out or "备份文件失败" in out
    assert "有文件无法备份或写入，本次没有修改任何文件" in out
    assert a.read_bytes().startswith(b"Public total As Long\n") and b.read_bytes() == b"Sub S()\n    total = 1\nEnd Sub\n"
    assert not [n for n in os.listdir(disk.path) if n.endswith(".tmp")] and dict(r.changes_made) == {}


def two_modules_renamed(vba_folder, capsys):
    folder = vba_folder({"a.bas": b"Public total As Long\n", "b.bas": b"Sub S()\n    total = 1\nEnd Sub\n"})
    r = parse(folder, capsys)
    record(r, "g", os.path.join(folder, "a.bas"), 1, "total", "g_Total_lng")
    return folder, r, modules_of(folder)


def test_failed_replace_puts_back_modules_already_replaced(vba_folder, capsys, monkeypatch):
    folder, r, before = two_modules_renamed(vba_folder, capsys)
    first, second = r.parser.files
    real_replace, calls = os.replace, []

    def replace(src, dst):
        calls.append(dst)
        if len(calls) == 2:
            raise OSError(28, "No space left on device")
        real_replace(src, dst)

    monkeypatch.setattr(os, "replace", replace)
    assert r.refactor_all_issues() is False
    out = capsys.readouterr().out
    assert f"写入文件失败 {second}: [Errno 28] No space left on device" in out and f"已恢复文件: {first}" in out
    assert modules_of(folder) == before and dict(r.changes_made) == {}
    assert not [n for n in os.listdir(folder) if n.endswith(".tmp")]


def test_module_changed_while_renames_are_written(vba_folder, capsys, monkeypatch):
    folder, r, before = two_modules_renamed(vba_folder, capsys)
    first, second = r.parser.files
    real_fsync = os.fsync

    def fsync(fd):  # an editor saves the second module while the new ones are written out
        if open(second, "rb").read() == before[os.path.basename(second)]:
            open(second, "ab").write(b"' saved meanwhile\n")
        real_fsync(fd)

    monkeypatch.setattr(os, "fsync", fsync)
    r._apply_all_changes()
    assert f"写入文件失败 {second}: 文件在解析之后已被修改" in capsys.readouterr().out
    assert modules_of(folder)[os.path.basename(first)] == before[os.path.basename(first)]
    assert modules_of(folder)[os.path.basename(second)].endswith(b"' saved meanwhile\n")


@pytest.mark.parametrize("line, header, declaration", [
    ("Public Sub Main()", True, True),
    ("  private  function F(x)", True, True),
    ("Function F", True, False),
    ("FunctionF", False, False),
    ("Friend Sub S", True, False),
    ("Public Property Get P()", True, True),
    ("Global Const X = 1", False, True),
    ("Dimension x", False, False),
    ("x = 1", False, False),
])
def test_line_tests(line, header, declaration):
    r = VBTRefactorer(VBAParser())
    assert r._is_function_definition(line) is header
    assert r._is_variable_declaration(line) is declaration


@pytest.mark.parametrize("call, message", [
    (lambda r: r._is_variable_declaration(None), "Argument 'line' has incorrect type (expected str, got NoneType)"),
    (lambda r: r._apply_all_changes(1), "VBTRefactorer._apply_all_changes() takes 1 positional argument but 2 were given"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as e:
        call(VBTRefactorer(VBAParser()))
    assert str(e.value) == message
