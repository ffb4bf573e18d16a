import contextlib
import io
import os
import pathlib
import random
import re

import pytest

from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VBAParser
from tallowby.quillon.quillon import VariableType as T


def run(parser, directory):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        parser.parse_files(directory)
    return out.getvalue().splitlines()


@pytest.mark.parametrize("arg, got", [(pathlib.Path("."), "PosixPath"), (None, "NoneType"), (b".", "bytes")])
def test_directory_must_be_text(arg, got, capsys):
    with pytest.raises(TypeError) as e:
        VBAParser().parse_files(arg)
    assert str(e.value) == f"Argument 'directory_path' has incorrect type (expected str, got {got})"
    assert capsys.readouterr().out == ""


@pytest.mark.parametrize("where", ["empty", "missing", "file.bas"])
def test_nothing_to_read(tmp_path, where):
    (tmp_path / "empty").mkdir()
    (tmp_path / "empty" / "notes.bas.txt").write_text("Dim a As Long\n")
    (tmp_path / "file.bas").write_text("Public g As Long\n")
    p = VBAParser()
    assert run(p, str(tmp_path / where)) == ["找到 0 个 .bas 文件", "正在收集变量引用信息...", "收集到 0 个变量的引用信息",
                                             "解析完成：0 个全局变量，0 个函数"]
    assert p.files == {} and p.global_variables == []


MODULE_A = """Attribute VB_Name = "A"
Public g_Count_lng As Long
Private m_Name_str As String
Public Type Point
    x As Long
End Type
Enum enum_Colors
    Red
End Enum

Public Function Init_VBT(ByVal argc As Long) As Long
    Dim i As Long
    Init_VBT = 0
End Function
' between
Sub Helper()
    Dim s As String
end sub
Type Inner
Sub Last
    Public Const P As Long = 1
"""


@pytest.fixture
def program(tmp_path):
    root = tmp_path / "prog"
    (root / "sub").mkdir(parents=True)
    (root / "A.bas").write_text(MODULE_A, encoding="utf-8")
    (root / "sub" / "B.BAS").write_bytes(
        "\ufeffPublic x As Long\r\nDim y As Double\r\nFunction F_DSP()\r\nEnd Function\r\n".encode("utf-8"))
    # lone CR line ends, bytes that are not UTF-8, and CR <bad byte> LF as one line end
    (root / "C.bas").write_bytes(b"Dim a\xff As Long\rSub T()\rDim z\xe9 As Long\r\xff\nEnd Sub")
    (root / "notes.bas.txt").write_text("Dim n As Long\n")
    (root / "D.cls").write_text("Dim n As Long\n")
    os.symlink(root / "missing.bas", root / "broken.bas")
    os.symlink(root / "sub", root / "linked.bas")  # a link to a folder: neither a file nor walked
    os.mkfifo(root / "pipe.bas")
    return root


def test_fixture_program(program):
    top = str(program)
    order = [os.path.join(d, f) for d, _, fs in os.walk(top) for f in fs
             if f.lower().endswith(".bas") and f != "pipe.bas"]
    a, b, c, broken = (os.path.join(top, n) for n in ("A.bas", os.path.join("sub", "B.BAS"), "C.bas", "broken.bas"))
    assert sorted(order) == sorted([a, b, c, broken])

    p = VBAParser()
    lines = run(p, top)
    assert lines == [
        "找到 4 个 .bas 文件",
        f"解析文件 {broken} 时出错: [Errno 2] No such file or directory: '{broken}'",
        "正在收集变量引用信息...",
        "收集到 1 个变量的引用信息",
        "解析完成：2 个全局变量，5 个函数",
    ]
    assert list(p.files) == [x for x in order if x != broken]
    assert p.files[a] == MODULE_A.splitlines(keepends=True)
    # the BOM is dropped: the first line declares x
    assert p.files[b] == ["Public x As Long\n", "Dim y As Double\n", "Function F_DSP()\n", "End Function\n"]
    assert p.file_encodings == {a: "utf-8", b: "utf-8-sig", c: "utf-8-lossy"}
    assert p.file_newlines == {a: "\n", b: "\r\n", c: ("\r", "\n")}
    assert p.files[c] == ["Dim a As Long\n", "Sub T()\n", "Dim z As Long\n", "End Sub"]

    spans = {k: (f.name, f.start_line, f.end_line) for k, f in p.functions.items()}
    assert spans == {
        f"{a}:Init_VBT": ("Init_VBT", 11, 14),
        f"{a}:Helper": ("Helper", 16, 19),  # lower-case "end sub" does not close it
        f"{a}:Last": ("Last", 20, 21),
        f"{b}:F_DSP": ("F_DSP", 3, 4),
        f"{c}:T": ("T", 2, 4),
    }
    assert [v.name for v in p.global_variables] == ["g_Count_lng", "x"]
    assert {k: [v.name for v in vs] for k, vs in p.module_variables.items()} == {
        a: ["m_Name_str"], b: ["y"], c: ["a"]}
    locals_ = {k: [(v.name, v.scope, v.function_name) for v in vs] for k, vs in p.local_variables.items()}
    assert locals_ == {
        f"{a}:Init_VBT": [("i", S.LOCAL, "Init_VBT")],
        f"{a}:Helper": [("s", S.LOCAL, "Helper")],
        f"{a}:Last": [("P", S.LOCAL, "Last")],
        f"{c}:T": [("z", S.LOCAL, "T")],
    }
    # the Type header inside Helper is not read
    assert list(p.types) == [f"{a}:Point"] and list(p.enums) == [f"{a}:enum_Colors"]

    # a second run adds to the first; equal keys are replaced
    run(p, top)
    assert len(p.global_variables) == 4 and len(p.functions) == 5


def scan(lines):
    p = VBAParser()
    p._parse_file("m.bas", list(lines))
    return p


SCANS = [
    # lines, functions as (name, start, end), module-private then global names, local names by procedure
    (["Sub A()", "End Sub", "' note", "Sub B()", "End Sub ' done"], [("A", 1, 2), ("B", 4, 5)], [], {}),
    (["Sub A()", "Sub B()", "Dim x As Long"], [("A", 1, 1), ("B", 2, 3)], [], {"B": ["x"]}),
    (["End Sub", "Dim x As Long"], [], ["x"], {}),
    (["Sub A()", "Static s As Long", "ReDim r(3) As Long", "Const K As Long = 1", "End Sub"], [("A", 1, 5)], [],
     {"A": ["s", "K"]}),
    (["Public Static Function F() As Long", "End Function", "Private Declare Function G Lib \"x\" () As Long",
      "Public Property Get Size() As Long"], [("F", 1, 2), ("Size", 4, 4)], [], {}),
    (["Sub A()", "End Sub", "Property Get P() As Long", "Dim d As Long", "End Property", "Dim m As Long"],
     [("A", 1, 2), ("P", 3, 5)], ["m"], {"P": ["d"]}),
    (["Private Function Join_VBT(ByVal a As Long, _", "    ByVal b As Long) As Long", "Dim t As Long, _",
      "  u As String", "End Function"], [("Join_VBT", 1, 5)], [], {"Join_VBT": ["t", "u"]}),
    (["private sub low()", "dim q As Long", "end sub", "End Sub"], [("low", 1, 4)], [], {"low": ["q"]}),
    (["PrivateSub Tight()", "End Sub"], [("Tight", 1, 2)], [], {}),
    (["Sub (x)", "Dim u As Long", "End Sub"], [("unknown", 1, 3)], [], {"unknown": ["u"]}),
    (["Dim a As Long, _", "    b As Long"], [], ["a", "b"], {}),
    # a continued line is one statement: its later lines are not read on their own
    (["x = 1 + _", "Dim_y", "MsgBox \"a\" & _", "  \"Dim z As Long\"", "Dim w _", "As Long"], [], ["w"], {}),
    (["\u3000\u3000Dim w As Long\u3000", "\t Sub Ind()\u00a0", "End Sub"], [("Ind", 2, 3)], ["w"], {}),
    (["\ufeffDim bom As Long", "\ufeffSub X()"], [], [], {}),
    # keywords spelled with the long s and the dotless i, after any white space
    (["\u3000ſub Long_s()", "\tDım a As Long", "End Sub", " ſub", "Dım q As Long"], [("Long_s", 1, 3)], ["q"],
     {"Long_s": ["a"]}),
]


def test_a_procedure_that_appears_twice_keeps_both_records():
    p = scan(["#If Win64 Then", "Private Function Peek(ByVal a As LongPtr) As Long", "Dim v As LongPtr",
              "End Function", "#Else", "Private Function Peek(ByVal a As Long) As Long", "Dim v As Long",
              "End Function", "#End If", "Property Get Size() As Long", "End Property",
              "Property Let Size(ByVal n As Long)", "Dim old As Long", "End Property"])
    assert {k: (f.name, f.start_line, f.end_line) for k, f in p.functions.items()} == {
        "m.bas:Peek": ("Peek", 2, 4), "m.bas:Peek@6": ("Peek", 6, 8),
        "m.bas:Size": ("Size", 10, 11), "m.bas:Size@12": ("Size", 12, 14)}
    assert {k: [(v.name, v.var_type, v.function_name) for v in vs] for k, vs in p.local_variables.items()} == {
        "m.bas:Peek": [("v", T.VARIANT, "Peek")], "m.bas:Peek@6": [("v", T.LONG, "Peek")],
        "m.bas:Size@12": [("old", T.LONG, "Size")]}


@pytest.mark.parametrize("lines, functions, module_names, local_names", SCANS)
def test_scan(lines, functions, module_names, local_names):
    p = scan(lines)
    assert [(f.name, f.start_line, f.end_line) for f in p.functions.values()] == functions
    assert list(p.functions) == [f"m.bas:{n}" for n, _, _ in functions]
    assert [v.name for vs in p.module_variables.values() for v in vs] + [v.name for v in p.global_variables] == module_names
    assert {k.split(":", 1)[1]: [v.name for v in vs] for k, vs in p.local_variables.items()} == local_names


def test_scan_arguments_and_failures():
    p = VBAParser()
    with pytest.raises(TypeError, match=r"Argument 'lines' has incorrect type \(expected list, got tuple\)"):
        p._parse_file("m.bas", ("Dim a As Long",))
    with pytest.raises(TypeError, match=r"Argument 'file_path' has incorrect type \(expected str, got PosixPath\)"):
        p._parse_file(pathlib.Path("m.bas"), [])
    # a line that is not text fails the scan where the host's strip() would
    with pytest.raises(AttributeError, match="'int' object has no attribute 'strip'"):
        p._parse_file("m.bas", ["Dim a As Long", 5, "Dim b As Long"])
    assert [v.name for v in p.module_variables["m.bas"]] == ["a"]


def test_pass_failure_reaches_caller(tmp_path, capsys):
    (tmp_path / "m.bas").write_text("Sub A()\nEnd Sub\n")
    p = VBAParser()
    calls = []
    p._collect_variable_references = lambda: calls.append("refs")

    def fail():
        raise RuntimeError("parameter pass failed")

    p._check_function_parameters = fail
    with pytest.raises(RuntimeError, match="parameter pass failed"):
        p.parse_files(str(tmp_path))
    assert calls == ["refs"] and list(p.functions) == [os.path.join(str(tmp_path), "m.bas") + ":A"]
    assert capsys.readouterr().out == "找到 1 个 .bas 文件\n"


def test_variable_references_lookups_do_not_grow():
    refs = VBAParser().variable_references
    assert isinstance(refs, dict)
    first = refs["x"]
    assert first == [] and refs["x"] is not first and "x" not in refs and len(refs) == 0
    refs["y"] = [1]
    assert refs["y"] == [1]


# -- the line tests give what the host's re gives --------------------------------------------

FUNC_PATTERNS = [r"^\s*(Public|Private|Friend)?\s*(Static\s+)?(Function|Sub|Property\s+(Get|Let|Set))\s+"]
DECL_PATTERN = r"^\s*(Public|Private|Global|Dim|Const|Static)\s+"
TYPE_SCOPED, ENUM_SCOPED = r"^\s*(Public|Private)\s+Type\s+", r"^\s*(Public|Private)\s+Enum\s+"
TYPE_READER = r"^\s*(?P<scope>Public|Private)?\s*Type\s+(?P<name>\w+)"
ENUM_READER = r"^\s*(?P<scope>Public|Private)?\s*Enum\s+(?P<name>\w+)"

WORDS = ["Public", "PRIVATE", "friend", "Global", "dim", "Const", "Function", "sub", "SUB", "Type", "Enum",
         "Static", "STATİC", "Property", "property", "Get", "let", "SET", "Put",
         "Publ\u0130c", "Pr\u0131vate", "Fr\u0130end", "Funct\u0131on", "\u017fub", "Con\u017ft", "D\u0130m",
         "Globa", "Dimm", "Subs", "TYPE", "enum", "x", "\u00e9t\u00e9", "\u212a", "a'b", "(", ")", ","]
SPACES = [" ", "\t", "\u00a0", "\u3000", "\x1c", "\x1f", "\x0b", "\ufeff", "\u200b", "", "'", "_"]


def awkward_lines(n, seed):
    rng = random.Random(seed)
    for _ in range(n):
        parts = [rng.choice(SPACES) for _ in range(rng.randint(0, 2))]
        for _ in range(rng.randint(1, 4)):
            parts.append(rng.choice(WORDS))
            parts.append(rng.choice(SPACES))
        yield "".join(parts)


def host_is_function(line):
    return any(re.match(p, line, re.IGNORECASE) for p in FUNC_PATTERNS)


def test_line_tests_match_host_re():
    p = VBAParser()
    fixed = ["Function x", "PrivateFunction x", "Public\u3000Sub\u00a0x", "Sub", "Sub ", "  sub\tx", "Dim\x1cx",
             "Dim\u200bx", "Type\u3000T", "Private  Enum E", "Publ\u0130c Type T", "\u212aSub x"]
    for line in fixed + list(awkward_lines(4000, 7)):
        is_func = host_is_function(line)
        assert p._is_function_definition(line) is is_func, repr(line)
        assert p._is_variable_declaration(line) is (not is_func and bool(re.match(DECL_PATTERN, line, re.I))), repr(line)


def test_type_and_enum_header_tests_match_host_re():
    for line in list(awkward_lines(3000, 11)) + ["Type T", "type T", "Enum E", "Public\u3000Type\tT", "Type\u00a0T"]:
        s = line.strip()
        p = VBAParser()
        p._parse_file("m.bas", [line])
        is_type = s.startswith("Type ") or bool(re.match(TYPE_SCOPED, s, re.I))
        is_enum = not is_type and (s.startswith("Enum ") or bool(re.match(ENUM_SCOPED, s, re.I)))
        if host_is_function(s):
            is_type = is_enum = False
        type_m = re.match(TYPE_READER, s, re.I) if is_type else None
        enum_m = re.match(ENUM_READER, s, re.I) if is_enum else None
        assert list(p.types) == ([f"m.bas:{type_m['name']}"] if type_m else []), repr(line)
        assert list(p.enums) == ([f"m.bas:{enum_m['name']}"] if enum_m else []), repr(line)


def test_repeated_names_get_the_verdict_of_their_own_declaration():
    from tallowby.quillon.quillon import VBTNamingRules as R

    names = ["x", "i", "Site", "m_Count_lng", "MAX_VAL", "i_Foo_dbl", "g_Pin", "İ", "Größe"]
    shapes = ["Dim {n} As Long", "Dim {n}() As Double", "Const {n} As Long = 1", "Dim {n} As PinList",
              "Public {n} As String", "Private Const {n}(2) As Integer = 1", "Global {n} As Variant",
              "Dim {n} As sitelong"]
    rng = random.Random(5)
    lines = []
    for _ in range(3):
        body = [s.format(n=n) for n in names for s in shapes]
        rng.shuffle(body)
        lines += body[: len(body) // 2] + ["Sub A()"] + body[len(body) // 2:] + ["End Sub"]
    p = scan(lines)
    records = [v for vs in p.module_variables.values() for v in vs] + list(p.global_variables)
    records += [v for vs in p.local_variables.values() for v in vs]
    assert len(records) == len(lines) - 6
    for v in records:
        suggestion, issue = R.get_correct_variable_name(v)
        assert (v.correct_name, v.issue_description) == ((None, None) if issue is None else (suggestion, issue)), v


def test_a_line_whose_strip_changes_the_maps():
    p = VBAParser()

    class Line(str):
        def strip(self):
            p.local_variables["m.bas:A"] = replaced
            p.module_variables["m.bas"] = replaced_module
            return str(self).strip()

    replaced, replaced_module = [], []
    p._parse_file("m.bas", ["Dim a As Long", "Sub A()", "Dim b As Long", Line("' c"), "Dim c As Long", "End Sub",
                            "Dim d As Long"])
    assert [v.name for v in replaced] == ["c"] and p.local_variables["m.bas:A"] is replaced
    assert [v.name for v in p.module_variables["m.bas"]] == ["d"] and p.module_variables["m.bas"] is replaced_module
