import contextlib
import gc
import io
import random
import re

import pytest

from tallowby.quillon.quillon import TypeInfo, VariableReference, VBAParser

# ---------------------------------------------------------------------------
# A direct, slow transcription of the reference passes: the differential
# tests compare the parser against it.

VBA_KEYWORDS = {
    "If", "Then", "Else", "ElseIf", "End", "Select", "Case", "For", "To", "Next", "While", "Wend", "Do",
    "Loop", "Until", "Exit", "Goto", "On", "Error", "Resume", "With", "Function", "Sub", "Property", "Get",
    "Let", "Set", "Public", "Private", "Friend", "Global", "Dim", "Const", "As", "ByVal", "ByRef",
    "Optional", "ParamArray", "Type", "Enum", "Nothing", "True", "False", "Me",
}
FUNC_DEF = [re.compile(r"^\s*(Public|Private|Friend)?\s*(Static\s+)?(Function|Sub|Property\s+(Get|Let|Set))\s+", re.I)]
DECL = re.compile(r"^\s*(Public|Private|Global|Dim|Const|Static)\s+", re.I)
HEADER_NAME = re.compile(r"^\s*(Public|Private|Friend)?\s*(Static\s+)?(Function|Sub|Property\s+(Get|Let|Set))\s+"
                         r"(?P<name>\w+)", re.I)
CONTINUED = re.compile(r"(^|\s)_$")
WORD = re.compile(r"\b([a-zA-Z_][a-zA-Z0-9_]*)\b")
TYPE_HEADER = re.compile(r"^\s*(Public|Private)?\s*(Type|Enum)\s+", re.I)


def is_function_definition(line):
    return any(p.match(line) for p in FUNC_DEF)


def is_variable_declaration(line):
    return not is_function_definition(line) and bool(DECL.match(line))


def slow_variable_references(parser, found=None):
    """{name: [(var_name, file, line, function, context), ...]} in insertion order; `found`, when
    given, receives every reference in the order found."""
    all_variables = {}
    records = list(parser.global_variables)
    for lst in parser.module_variables.values():
        records += lst
    for lst in parser.local_variables.values():
        records += lst
    for v in records:
        all_variables[v.original_name] = v
        all_variables[v.name] = v
    refs = {}
    for file_path, lines in parser.files.items():
        current = None
        skip = False  # the line goes on a header or declaration
        for num, line in enumerate(lines, 1):
            stripped = line.strip()
            if skip:
                skip = bool(CONTINUED.search(stripped))
                continue
            if is_function_definition(stripped):
                skip = bool(CONTINUED.search(stripped))
                m = HEADER_NAME.match(stripped)
                if m:
                    current = m.group("name")
                continue
            if stripped.startswith(("End Function", "End Sub", "End Property")):
                current = None
                continue
            if is_variable_declaration(stripped) or stripped.startswith("Type ") or stripped.startswith("Enum "):
                skip = bool(CONTINUED.search(stripped))
                continue
            function_names = set()
            for f in parser.functions.values():
                function_names.add(f.name)
                function_names.add(f.original_name)
            for m in WORD.finditer(line):
                name = m.group(1)
                if name in VBA_KEYWORDS or name in function_names:
                    continue
                if name in all_variables:
                    refs.setdefault(name, []).append((name, file_path, num, current, line.strip()))
                    if found is not None:
                        found.append(refs[name][-1])
    return refs


def slow_type_counts(parser):
    """[(reference_count, referenced_files)] for the records of types then enums."""
    all_types = {}
    for t in list(parser.types.values()) + list(parser.enums.values()):
        all_types[t.name] = t
        all_types[t.original_name] = t
    counts = {}
    for file_path, lines in parser.files.items():
        for line in lines:
            if TYPE_HEADER.match(line):
                continue
            for name, info in all_types.items():
                if re.search(r"\b" + re.escape(name) + r"\b", line):
                    c, files = counts.get(id(info), (0, set()))
                    counts[id(info)] = (c + 1, files | {file_path})
    return [counts.get(id(t), (0, set())) for t in list(parser.types.values()) + list(parser.enums.values())]


def as_tuples(parser):
    return {k: [(r.var_name, r.file_path, r.line_number, r.function_name, r.context) for r in v]
            for k, v in parser.variable_references.items()}


def type_counts(parser):
    return [(t.reference_count, t.referenced_files) for t in list(parser.types.values()) + list(parser.enums.values())]


def parse(directory):
    p = VBAParser()
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        p.parse_files(str(directory))
    return p, out.getvalue().splitlines()


# ---------------------------------------------------------------------------
# Fixture program: every expectation below is worked out by hand.

FIXTURE = """Attribute VB_Name = "Fixture"
Public g_Total_lng As Long
Private m_Name_str As String
Public Const MAX_SITES As Long = 4
Public Type Point
    X As Long
End Type

Public Function Measure_VBT(ByVal pin_name As String, Limit As Double) As Long
    Dim i As Long
    Dim site As Long
    Dim p As Point
    For i = 0 To MAX_SITES: m_Name_str = m_Name_str & Limit: Next i
    g_Total_lng = g_Total_lng + i ' g_Total_lng again
    Measure_VBT = site
End Function

Sub Report(count As Point)
    Dim total As Long
    total = g_Total_lng + p.X
End Sub
"""
OTHER = """Sub Use_IP(in_x As Point)
    g_Total_lng = 1
End Sub
"""


@pytest.fixture
def fixture_program(tmp_path):
    (tmp_path / "Fixture.bas").write_text(FIXTURE, encoding="utf-8")
    (tmp_path / "sub").mkdir()
    (tmp_path / "sub" / "Other.bas").write_text(OTHER, encoding="utf-8")
    return tmp_path


def test_fixture_program(fixture_program):
    p, out = parse(fixture_program)
    a, b = str(fixture_program / "Fixture.bas"), str(fixture_program / "sub" / "Other.bas")
    assert out == ["找到 2 个 .bas 文件", "正在收集变量引用信息...", "收集到 7 个变量的引用信息",
                   "解析完成：2 个全局变量，3 个函数"]
    l13 = "For i = 0 To MAX_SITES: m_Name_str = m_Name_str & Limit: Next i"
    l14 = "g_Total_lng = g_Total_lng + i ' g_Total_lng again"
    l20 = "total = g_Total_lng + p.X"
    m, r = "Measure_VBT", "Report"
    assert as_tuples(p) == {
        "i": [("i", a, 13, m, l13), ("i", a, 13, m, l13), ("i", a, 14, m, l14)],
        "MAX_SITES": [("MAX_SITES", a, 13, m, l13)],
        "m_Name_str": [("m_Name_str", a, 13, m, l13)] * 2,
        "g_Total_lng": [("g_Total_lng", a, 14, m, l14)] * 3 + [("g_Total_lng", a, 20, r, l20),
                                                            ("g_Total_lng", b, 2, "Use_IP", "g_Total_lng = 1")],
        "site": [("site", a, 15, m, "Measure_VBT = site")],
        "total": [("total", a, 20, r, l20)],
        "p": [("p", a, 20, r, l20)],
    }
    assert list(p.variable_references) == ["i", "MAX_SITES", "m_Name_str", "g_Total_lng", "site", "total", "p"]
    refs = p.variable_references["i"]
    assert all(type(x) is VariableReference for x in refs)
    assert refs[0].context is refs[0].context  # made once, then kept

    (point,) = p.types.values()
    assert (point.reference_count, point.referenced_files) == (3, {a, b})

    issues = {f.name: f.issues for f in p.functions.values()}
    assert issues == {
        "Measure_VBT": ["参数 'pin_name': VBT函数参数 'pin_name' 应为PascalCase格式：'PinName' (建议改为: 'PinName')"],
        "Report": ["参数 'count': DSP/非VBT函数参数 'count' 必须指定ByVal或ByRef"],
        "Use_IP": [],
    }
    all_issues = p.get_all_variable_issues()
    assert list(all_issues) == ["global_variables", "module_variables", "local_variables", "type_definitions",
                                "enum_definitions"]
    assert [len(v) for v in all_issues.values()] == [1, 0, 3, 1, 0]
    assert [v.name for v in all_issues["local_variables"]] == ["site", "p", "total"]
    assert all_issues["local_variables"][0].issue_description == "预留变量名 'site' 必须为 Variant 类型"
    assert all_issues["type_definitions"][0] is point



def test_context_made_when_read(fixture_program):
    """A scanned reference makes its context from its line when first read;
    whatever reads the record (a field, repr, equality, pickling, copying)
    sees the same text, and writing or deleting the context first wins."""
    import copy
    import pickle

    line = "For i = 0 To MAX_SITES: m_Name_str = m_Name_str & Limit: Next i"

    def astuple(r):
        return r.var_name, r.file_path, r.line_number, r.function_name, r.context

    def fresh():
        p, _ = parse(fixture_program)
        return p.variable_references["i"]

    for read in (lambda r: r.context, repr, lambda r: pickle.loads(pickle.dumps(r)).context,
                 lambda r: copy.copy(r).context, lambda r: r == VariableReference(*astuple(r))):
        first, second, _ = fresh()
        read(first)
        assert first.context == second.context == line
        assert astuple(first) == astuple(second)
    first, second, _ = fresh()
    assert first == second and repr(first) == repr(second) and line in repr(first)
    first.context = "changed"
    assert (first.context, second.context) == ("changed", line)
    del second.context
    with pytest.raises(AttributeError, match="context"):
        second.context
    with pytest.raises(AttributeError, match="context"):
        del second.context
    second.context = "again"
    assert second.context == "again"
    _, _, third = fresh()
    third.__init__("j", "m.bas", 1)
    assert (third.var_name, third.context) == ("j", "")


# ---------------------------------------------------------------------------
# Differential: generated modules with awkward text.

NAMES = ["i", "site", "cnt", "Value_dbl", "m_Data", "g_X1", "unknown", "Helper", "_u", "Résumé", "x2", "Point",
         "Colors", "Mixed"]
GLUE = ["cnté", "écnt", "2cnt", "cnt2", "cnt_ü", "ıcnt", "İ", "ſ", "\u212a", "cntı", "Point_", "Pointé", "point",
        "Point.X", "Colors.Red", "x２"]
SPACES = [" ", "  ", "\t", "\u00a0", "\u3000", ""]
HEADERS = ["Sub {n}()", "Public Function {n}(ByVal a As Long) As Long", "private sub {n}", "Friend Function {n}",
           "PrivateSub {n}", "ſub {n}(x As Point)", "Sub\u3000{n}", "\u00a0Function {n}", "Sub (x)",
           "Sub  {n} ' c", "Public ſub {n}", "Publİc Function {n}", "Function\t{n}é()", "Property Get {n}() As Long",
           "Private Static Sub {n}(a, _", "Public Property Let {n}(v)", "Function {n}( _"]
ENDS = ["End Sub", "End Function", "end sub", "End Sub ' done", "End Functionx", "  End Sub", "End Property"]
DECLS = ["Dim {n} As Long", "Public {n} As String", "Private {n}, {m} As Double", "Const {n} As Long = 1",
         "Global {n} As Variant", "dim {n} As Point", "Dim {n}() As Colors", "Static {n} As Long",
         "Dim {n} As Long, _", "Dim {n}$, {m}(1 To 3) As Long ' {m}"]
DEFS = ["Type {t}", "Public Type {t}", "private enum {t}", "Enum {t}", "Type\u3000{t}", "TYPE {t}", "Typeİ {t}",
        "PublicType {t}", "End Type", "End Enum", "TypeName = {t}", "Public  Enum {t}", "Enum"]
TYPE_NAMES = ["Point", "Colors", "Mixed", "type_Rec", "Ünï", "Point"]
PROCEDURES = ["Helper", "Run_VBT", "Calc_IP", "Main", "Mixed", "Łódź"]  # some are also variable or Type names


def body_line(rng, count=None):
    words = []
    for _ in range(rng.randint(0, 8) if count is None else count):
        r = rng.random()
        if r < 0.45:
            words.append(rng.choice(NAMES))
        elif r < 0.65:
            words.append(rng.choice(GLUE))
        elif r < 0.75:
            words.append(rng.choice(sorted(VBA_KEYWORDS)))
        elif r < 0.85:
            words.append(rng.choice(['"' + rng.choice(NAMES) + '"', "' " + rng.choice(NAMES), "(", ")", "=", "+"]))
        else:
            words.append(rng.choice(TYPE_NAMES))
    seps = [rng.choice(SPACES + [".", ",", ":"]) for _ in words]
    return rng.choice(SPACES) + "".join(w + s for w, s in zip(words, seps))


def module(rng, lines):
    out = []
    for _ in range(lines):
        r = rng.random()
        n, m, t = rng.choice(NAMES), rng.choice(NAMES), rng.choice(TYPE_NAMES)
        if r < 0.1:
            out.append(rng.choice(SPACES) + rng.choice(HEADERS).format(n=rng.choice(PROCEDURES)))
        elif r < 0.18:
            out.append(rng.choice(ENDS))
        elif r < 0.3:
            out.append(rng.choice(SPACES) + rng.choice(DECLS).format(n=n, m=m))
        elif r < 0.4:
            out.append(rng.choice(DEFS).format(t=t))
        else:
            out.append(body_line(rng))
    return "\n".join(out) + rng.choice(["\n", ""])


@pytest.mark.parametrize("seed", range(6))
def test_identical_to_direct_algorithm(tmp_path, seed):
    rng = random.Random(seed)
    for k in range(4):
        folder = tmp_path / f"d{k % 2}"
        folder.mkdir(exist_ok=True)
        (folder / f"M{k}.bas").write_bytes(module(rng, 150).encode("utf-8"))
    # Long lines: runs across 64-character blocks, lines of more than 4,096 characters.
    long_rng = random.Random(100 + seed)
    long_lines = [body_line(long_rng, long_rng.choice([20, 60, 900])) for _ in range(30)]
    long_lines += [line.encode("ascii", "ignore").decode() for line in long_lines]  # and only ASCII
    (tmp_path / "Long.bas").write_text("Sub Helper()\n" + "\n".join(long_lines) + "\nEnd Sub\n", encoding="utf-8")
    p, _ = parse(tmp_path)
    assert p.functions and p.types and p.enums and p.variable_references
    assert as_tuples(p) == slow_variable_references(p)
    assert list(p.variable_references) == list(slow_variable_references(p))
    assert type_counts(p) == slow_type_counts(p)


class Named(str):
    pass


@pytest.mark.parametrize("change", [
    None,                                                          # plain records
    lambda v: setattr(v, "name", Named(v.name)),                   # a str subclass as name
    lambda v: setattr(v, "original_name", "Résumé"),               # a non-ASCII name
    lambda v: setattr(v, "name", "Helper"),                        # a procedure's name
])
def test_references_after_variable_records_changed(tmp_path, change):
    rng = random.Random(7)
    for k in range(2):
        (tmp_path / f"M{k}.bas").write_text(module(rng, 200), encoding="utf-8")
    p, _ = parse(tmp_path)
    if change:
        for v in p.global_variables[:2] + next(iter(p.local_variables.values()))[:2]:
            change(v)
    p.variable_references.clear()
    with contextlib.redirect_stdout(io.StringIO()):
        p._collect_variable_references()
    assert as_tuples(p) == slow_variable_references(p)
    assert list(p.variable_references) == list(slow_variable_references(p))


def test_one_list_under_two_names_gets_references_in_the_order_found(tmp_path):
    rng = random.Random(11)
    (tmp_path / "M.bas").write_text(module(rng, 300), encoding="utf-8")
    p, _ = parse(tmp_path)
    a, b = list(p.variable_references)[:2]
    found = []
    slow_variable_references(p, found)
    p.variable_references.clear()
    shared = p.variable_references[a] = p.variable_references[b] = []
    with contextlib.redirect_stdout(io.StringIO()):
        p._collect_variable_references()
    assert [(r.var_name, r.file_path, r.line_number, r.function_name, r.context) for r in shared] == [
        t for t in found if t[0] in (a, b)]


@pytest.mark.parametrize("changes", [
    {"name": "Po int"},                 # not a run of word characters: literal search
    {"name": ""},                       # empty: any word boundary in a line
    {"name": "Point.X"},
    {"name": "Pointé", "original_name": "Colors"},  # two names of one record count separately
    {"name": "Ünï"},
])
@pytest.mark.parametrize("run", ["type pass", "whole pass", "whole pass, float counts"])
def test_type_counts_after_records_changed(tmp_path, changes, run):
    rng = random.Random(99)
    (tmp_path / "A.bas").write_text(module(rng, 300), encoding="utf-8")
    p, _ = parse(tmp_path)
    first = next(iter(p.types.values()))
    for t in list(p.types.values()) + list(p.enums.values()):
        t.reference_count, t.referenced_files = 0, set()
    for k, v in changes.items():
        setattr(first, k, v)
    if run == "type pass":
        p._collect_type_enum_references()
    else:
        if run.endswith("float counts"):
            for t in list(p.types.values()) + list(p.enums.values()):
                t.reference_count = 0.0
        refs_before = as_tuples(p)
        with contextlib.redirect_stdout(io.StringIO()):
            p._collect_variable_references()
        assert as_tuples(p) == {k: v + v for k, v in refs_before.items()}
    assert type_counts(p) == slow_type_counts(p)


def test_type_count_cases(tmp_path):
    text = "\n".join([
        "Public Type Point",      # header: skipped
        "  private type Mixed",   # header in any case, naming another Type: skipped
        "Dim a As Point, b As Point",  # twice on one line: once
        "x = PointX + point",     # longer word, other case: no
        "y = Point.X",            # followed by a member: yes
        "Type Mixed",
        "z As Mixed ' Point",     # both names: each once
        "TypeName Point",         # starts with the letters of Type: scanned
    ]) + "\n"
    (tmp_path / "A.bas").write_text(text, encoding="utf-8")
    p, _ = parse(tmp_path)
    assert [(t.name, t.reference_count) for t in p.types.values()] == [("Point", 4), ("Mixed", 1)]


def test_same_name_counts_for_last_record(tmp_path):
    (tmp_path / "A.bas").write_text("Type Thing\nEnum Thing\nDim t As Thing\n", encoding="utf-8")
    p, _ = parse(tmp_path)
    (t,), (e,) = p.types.values(), p.enums.values()
    assert (t.reference_count, t.referenced_files) == (0, set())
    assert (e.reference_count, len(e.referenced_files)) == (1, 1)


def test_unknown_header_hides_variable_named_unknown(tmp_path):
    (tmp_path / "A.bas").write_text("Dim unknown As Long\nDim other As Long\nunknown = other\n", encoding="utf-8")
    p, _ = parse(tmp_path)
    assert list(p.variable_references) == ["unknown", "other"]
    (tmp_path / "B.bas").write_text("Sub (x)\nEnd Sub\n", encoding="utf-8")
    p, _ = parse(tmp_path)
    assert list(p.variable_references) == ["other"]


def test_pass_twice_appends_and_counts_again(fixture_program):
    p, _ = parse(fixture_program)
    before = {k: len(v) for k, v in p.variable_references.items()}
    (point,) = p.types.values()
    with contextlib.redirect_stdout(io.StringIO()):
        p._collect_variable_references()
    assert {k: len(v) for k, v in p.variable_references.items()} == {k: 2 * n for k, n in before.items()}
    assert point.reference_count == 6 and len(point.referenced_files) == 2


def test_nothing_read_prints_both_lines(capsys):
    p = VBAParser()
    p._collect_variable_references()
    assert capsys.readouterr().out == "正在收集变量引用信息...\n收集到 0 个变量的引用信息\n"
    assert p.variable_references == {}


def test_get_variable_references(fixture_program):
    p, _ = parse(fixture_program)
    assert p.get_variable_references("site") is p.variable_references["site"]
    missing = p.get_variable_references("nothing_here")
    assert missing == [] and "nothing_here" not in p.variable_references
    assert p.get_variable_references("SITE") == []


def test_direct_calls_use_given_names(fixture_program):
    p, _ = parse(fixture_program)
    p.variable_references.clear()
    line = "  cnt = cnt + Report + If + 2cnt + cnté\n"
    p._find_variable_references_in_line(line, 7, "F.bas", None, {"cnt": None, "Report": None, "If": 1})
    assert as_tuples(p) == {"cnt": [("cnt", "F.bas", 7, None, "cnt = cnt + Report + If + 2cnt + cnté")] * 2}
    p.variable_references.clear()
    p._collect_references_in_file("G.bas", ["Sub S\n", "x = y\n", "End Sub\n", "y\n"], {"y": 0})
    assert as_tuples(p) == {"y": [("y", "G.bas", 2, "S", "x = y"), ("y", "G.bas", 4, None, "y")]}


class Text(str):
    pass


@pytest.mark.parametrize("call, message", [
    (lambda p: p._find_variable_references_in_line(Text("x"), 1, "f", None, {}),
     "Argument 'line' has incorrect type (expected str, got Text)"),
    (lambda p: p._find_variable_references_in_line("x", 1.0, "f", None, {}),
     "Argument 'line_num' has incorrect type (expected int, got float)"),
    (lambda p: p._find_variable_references_in_line("x", True, "f", None, {}),
     "Argument 'line_num' has incorrect type (expected int, got bool)"),
    (lambda p: p._find_variable_references_in_line("x", 1, "f", 3, {}),
     "Argument 'function_name' has incorrect type (expected str, got int)"),
    (lambda p: p._find_variable_references_in_line("x", 1, "f", None, None),
     "Argument 'all_variables' has incorrect type (expected dict, got NoneType)"),
    (lambda p: p._collect_references_in_file("f", ("x",), {}),
     "Argument 'lines' has incorrect type (expected list, got tuple)"),
    (lambda p: p._collect_references_in_file(None, [], {}),
     "Argument 'file_path' has incorrect type (expected str, got NoneType)"),
    (lambda p: p._collect_references_in_file("f", ["x\n", Text("y\n")], {}),
     "Argument 'line' has incorrect type (expected str, got Text)"),
    (lambda p: p.get_variable_references(b"x"),
     "Argument 'var_name' has incorrect type (expected str, got bytes)"),
    (lambda p: p._collect_type_enum_references(1),
     "VBAParser._collect_type_enum_references() takes 1 positional argument but 2 were given"),
])
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as e:
        call(VBAParser())
    assert str(e.value) == message


def test_failures_reach_the_caller_and_restore_gc(fixture_program):
    p, _ = parse(fixture_program)
    p.global_variables[0].name = ["unhashable"]
    assert gc.isenabled()
    with pytest.raises(TypeError, match="unhashable type: 'list'"):
        with contextlib.redirect_stdout(io.StringIO()):
            p.parse_files(str(fixture_program))
    assert gc.isenabled()

    p, _ = parse(fixture_program)
    next(iter(p.types.values())).name = b"Point"
    with pytest.raises(TypeError):
        p._collect_type_enum_references()
    next(iter(p.types.values())).name = "Point"
    p.files["bytes.bas"] = [b"Dim p As Point\n"]
    with pytest.raises(TypeError, match="cannot use a string pattern on a bytes-like object"):
        p._collect_type_enum_references()
    with pytest.raises(TypeError, match="Argument 'line' has incorrect type .expected str, got bytes."):
        with contextlib.redirect_stdout(io.StringIO()):
            p._collect_variable_references()
    del p.files["bytes.bas"]
    p.files[str(fixture_program / "x.bas")] = ("Dim a As Long\n",)
    with pytest.raises(TypeError, match="Argument 'lines' has incorrect type"):
        with contextlib.redirect_stdout(io.StringIO()):
            p._collect_variable_references()


def test_type_info_default_files_are_distinct():
    a = TypeInfo("A", "A", "Type", "f", 1)
    b = TypeInfo("B", "B", "Type", "f", 2)
    assert a.referenced_files is not b.referenced_files


def test_references_stay_out_of_the_collector_until_they_hold_a_container(fixture_program):
    parser, _ = parse(fixture_program)
    refs = next(refs for refs in parser.variable_references.values() if len(refs) >= 2)
    ref = refs.pop()
    assert not gc.is_tracked(ref)
    ref.context = [ref]  # a cycle: ref -> list -> ref
    assert gc.is_tracked(ref)
    del ref
    gc.collect()
    cycle = refs.pop()
    cycle.function_name = [cycle]
    del cycle
    assert gc.collect() == 2  # the record and its list, found only because the record is tracked again


def test_the_parsed_model_stays_out_of_the_collector(fixture_program):
    parser, _ = parse(fixture_program)
    records = list(parser.global_variables) + [v for vs in parser.local_variables.values() for v in vs]
    assert records and not any(gc.is_tracked(v) for v in records)
    # nor do the lists of references and of lines that hold nothing else
    assert parser.variable_references and not any(map(gc.is_tracked, parser.variable_references.values()))
    assert parser.files and not any(map(gc.is_tracked, parser.files.values()))
    for lists in (parser.local_variables, parser.module_variables):  # nor those of the variable records
        assert lists and not any(map(gc.is_tracked, lists.values()))
    assert all(type(v.scope).__name__ == "VariableScope" for v in records)
    v = records[0]
    v.correct_name = [v]  # a cycle through a list: tracked again, and collected
    assert gc.is_tracked(v)
    parser.global_variables.clear()
    parser.local_variables.clear()
    del records, v
    assert gc.collect() >= 2
