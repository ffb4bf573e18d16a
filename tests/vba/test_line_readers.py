import pytest

from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.quillon import VBAParser

PATH = "src/m.bas"


def declare(line, function_name=None, line_num=5):
    p = VBAParser()
    p._parse_variable_declaration(line, PATH, line_num, function_name)
    return p


def filed(p):
    """Every record filed, as (collection, key, record)."""
    out = [("global", None, r) for r in p.global_variables]
    out += [("module", k, r) for k, rs in p.module_variables.items() for r in rs]
    out += [("local", k, r) for k, rs in p.local_variables.items() for r in rs]
    return out


# line, procedure, [(collection, name, type, is_array, is_const)], scope of the records.
# Each comma-separated item is its own variable with its own type and bounds, as VBA reads it.
DECLARATIONS = [
    ("Dim a, b As Long", None, [("module", "a", T.VARIANT, False, False), ("module", "b", T.LONG, False, False)], S.MODULE_PRIVATE),
    ("Dim a As Long, b As String", "F", [("local", "a", T.LONG, False, False), ("local", "b", T.STRING, False, False)], S.LOCAL),
    ("Dim i As Integer, cnt As Integer", "F", [("local", "i", T.INTEGER, False, False), ("local", "cnt", T.INTEGER, False, False)], S.LOCAL),
    ("Dim arr(1 To 10) As Long", None, [("module", "arr", T.LONG, True, False)], S.MODULE_PRIVATE),
    ("Dim arr() As Double, n As Long", None, [("module", "arr", T.DOUBLE, True, False), ("module", "n", T.LONG, False, False)], S.MODULE_PRIVATE),
    ("Dim m(1 To 3, 0 To 2) As Long, k", "F", [("local", "m", T.LONG, True, False), ("local", "k", T.VARIANT, False, False)], S.LOCAL),
    ("Dim xArray(3) As String", None, [("module", "xArray", T.STRING, True, False)], S.MODULE_PRIVATE),
    ('Const S As String = "(x"', None, [("module", "S", T.STRING, False, True)], S.MODULE_PRIVATE),
    ("Public Const A As Long = 1, B As Long = 2", None, [("global", "A", T.LONG, False, True), ("global", "B", T.LONG, False, True)], S.GLOBAL),
    ('Private Const SEP As String = ",", Q = """a, b"""', None, [("module", "SEP", T.STRING, False, True), ("module", "Q", T.VARIANT, False, True)], S.MODULE_PRIVATE),
    ("Const T0 = #12:30:00#, T1 = Max(1, 2) ' c, d", None, [("module", "T0", T.VARIANT, False, True), ("module", "T1", T.VARIANT, False, True)], S.MODULE_PRIVATE),
    ("Const K As Long = 1", "F", [("local", "K", T.LONG, False, True)], S.LOCAL),
    ("Static k As Long", "F", [("local", "k", T.LONG, False, False)], S.LOCAL),
    ("Dim s$, n%, l&, f!, d#, c@, ll^", "F", [("local", n, t, False, False) for n, t in
        (("s", T.STRING), ("n", T.INTEGER), ("l", T.LONG), ("f", T.SINGLE), ("d", T.DOUBLE), ("c", T.VARIANT), ("ll", T.VARIANT))], S.LOCAL),
    ("Dim buf$(10)", "F", [("local", "buf", T.STRING, True, False)], S.LOCAL),
    ("Dim x As Long ' count", None, [("module", "x", T.LONG, False, False)], S.MODULE_PRIVATE),
    ("Dim x As Long: x = 1", "F", [("local", "x", T.LONG, False, False)], S.LOCAL),
    ("Dim s As String * 10, t As String*2", None, [("module", "s", T.STRING, False, False), ("module", "t", T.STRING, False, False)], S.MODULE_PRIVATE),
    ("Dim x", None, [("module", "x", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("Const X As Long = 5 ' five (5)", None, [("module", "X", T.LONG, False, True)], S.MODULE_PRIVATE),
    ("Dim x As New Collection", None, [("module", "x", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("Dim d As Scripting.Dictionary", None, [("module", "d", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("Private WithEvents app As Application", None, [("module", "app", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("dim X as LONG", None, [("module", "X", T.LONG, False, False)], S.MODULE_PRIVATE),
    ("Global Const K As Long = 1", None, [("global", "K", T.LONG, False, True)], S.GLOBAL),
    ("Private Const K As Long = 1", None, [("module", "K", T.LONG, False, True)], S.MODULE_PRIVATE),
    ("Public x As PinList", "unknown", [("local", "x", T.PINLIST, False, False)], S.LOCAL),
    ("Global x As Long", "F", [("local", "x", T.LONG, False, False)], S.LOCAL),
    ("Public y As SiteDouble", "", [("global", "y", T.SITEDOUBLE, False, False)], S.GLOBAL),
    ("Dim v As Object = Nothing", None, [("module", "v", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    # not variables: external procedures, events, procedures, malformed items
    ('Public Declare Function F Lib "k32" (ByVal a As Long) As Long', None, [], None),
    ('Private Declare PtrSafe Sub Sleep Lib "kernel32" (ByVal ms As LongPtr)', None, [], None),
    ("Public Event Changed(ByVal v As Long)", None, [], None),
    ("Public Property Get Size() As Long", None, [], None),
    ("Private Static Sub Tick()", None, [], None),
    ("Dim a, , b As Long", None, [], None),
    ("Dim a, As Long", None, [], None),
    ("Dim =x As Long", None, [], None),
    ("Dim 2x As Long", None, [], None),
    ("Const C As Long", None, [], None),
    ("Dim x y", None, [], None),
    ("Dim x As", None, [], None),
    ("Dim a(1 As Long", None, [], None),
    # keywords and type names follow the host's ignore-case and Unicode word rules
    # "D\u0131m" lower-cases to itself: neither Public/Global nor Private/Dim
    ("D\u0131m \u00e9t\u00e9 As Lon\u0261", None, [("module", "\u00e9t\u00e9", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("D\u0130M a\u3000As\u00a0\u212aind", None, [("module", "a", T.VARIANT, False, False)], S.MODULE_PRIVATE),
    ("Dim \u8ba1\u6570 As Long", "F", [("local", "\u8ba1\u6570", T.LONG, False, False)], S.LOCAL),
]


@pytest.mark.parametrize("line, proc, expected, scope", DECLARATIONS)
def test_declarations(line, proc, expected, scope):
    p = declare(line, proc)
    got = [(c, r.name, r.var_type, r.is_array, r.is_const) for c, _, r in filed(p)]
    assert got == expected
    for c, key, r in filed(p):
        assert r.scope is scope and r.original_name == r.name
        assert (r.file_path, r.line_number, r.function_name) == (PATH, 5, proc)
        assert key == {"global": None, "module": PATH, "local": f"{PATH}:{proc}"}[c]
        # the naming rule's finding is kept only with an issue text
        assert (r.correct_name is None) == (r.issue_description is None)


def test_declaration_records_carry_rule_findings_and_accumulate():
    p = VBAParser()
    for n in (3, 4):
        p._parse_variable_declaration("Dim counter As Long", PATH, n, "F")
    p._parse_variable_declaration("Dim i_Counter_lng As Long", PATH, 6.9, "F")
    recs = p.local_variables[f"{PATH}:F"]
    assert [(r.line_number, r.correct_name, r.issue_description) for r in recs] == [
        (3, "Counter_lng", "变量命名不符合规范，建议使用 'Counter_lng' 或 'i_Counter_lng'"),
        (4, "Counter_lng", "变量命名不符合规范，建议使用 'Counter_lng' 或 'i_Counter_lng'"),
        (6, None, None),
    ]


@pytest.mark.parametrize(
    "args, message",
    [
        ((b"Dim x As Long", PATH, 1, None), "Argument 'line' has incorrect type (expected str, got bytes)"),
        (("Dim x As Long", None, 1, None), "Argument 'file_path' has incorrect type (expected str, got NoneType)"),
        (("Dim x As Long", PATH, "1", None), "Argument 'line_num' has incorrect type (expected int, got str)"),
        (("Dim x As Long", PATH, 1, 3), "Argument 'function_name' has incorrect type (expected str, got int)"),
        (("Dim x As Long", PATH, 1), "VBAParser._parse_variable_declaration() missing 1 required positional argument: 'function_name'"),
    ],
)
def test_declaration_arguments(args, message):
    p = VBAParser()
    with pytest.raises(TypeError) as e:
        p._parse_variable_declaration(*args)
    assert str(e.value) == message
    assert filed(p) == []


@pytest.mark.parametrize(
    "text, member",
    [("PinList", T.PINLIST), ("PINLISTDATA", T.PINLISTDATA), ("UserClass", T.VARIANT), ("", T.VARIANT),
     ("csl", T.CSL), ("Enum", T.VARIANT), ("Type", T.VARIANT), ("sItEbOoLeAn", T.SITEBOOLEAN),
     ("P\u0130NDATA", T.VARIANT), ("Object", T.VARIANT)],
)
def test_variable_type(text, member):
    assert VBAParser()._parse_variable_type(text) is member


# header line -> (name, kind, parameters)
HEADERS = [
    ("Sub Main", ("Main", F.OTHER, [])),
    ("Sub Main()", ("Main", F.OTHER, [])),
    ("Sub (x)", ("unknown", F.OTHER, [])),
    ("public function Init_VBT(x)", ("Init_VBT", F.VBT, [("x", "Variant", "")])),
    ("Function Init_vbt()", ("Init_vbt", F.OTHER, [])),
    ("Private Function Read_DSP_VBT() As Long", ("Read_DSP_VBT", F.VBT, [])),
    ("Sub Calc_IP(ByRef w As DspWave)", ("Calc_IP", F.IP, [("w", "DspWave", "ByRef")])),
    ("Sub Init_VBTX()", ("Init_VBTX", F.OTHER, [])),
    ("Function Scale_DSP(a As Long, _", ("Scale_DSP", F.DSP, [])),
    ("Sub F(a As Long) ' see (x)", ("F", F.OTHER, [("a", "Long", "")])),
    ('Sub F(Optional s As String = ")", b As Long) \' (c)', ("F", F.OTHER, [("Optional", "Variant", "")])),
    ("Private Static Sub Tick_VBT(n As Long)", ("Tick_VBT", F.VBT, [("n", "Long", "")])),
    ("Public Property Get Size() As Long", ("Size", F.OTHER, [])),
    ("Friend Property Let Value(ByVal v As Variant)", ("Value", F.OTHER, [("v", "Variant", "ByVal")])),
    ("Property Set Target(ByRef t As Object)", ("Target", F.OTHER, [("t", "Object", "ByRef")])),
    ("Static Function Count$(s As String)", ("Count", F.OTHER, [("s", "String", "")])),
    ("Public Declare Function F Lib \"k\" () As Long", ("unknown", F.OTHER, [])),
    ("PrivateSub Tight()", ("Tight", F.OTHER, [])),
    ("Friend  Sub   Spaced ( a  As   Long )", ("Spaced", F.OTHER, [("a", "Long", "")])),
    ("Sub \u6d4b\u8bd5_VBT(\u503c As Long)", ("\u6d4b\u8bd5_VBT", F.VBT, [("\u503c", "Long", "")])),
]


@pytest.mark.parametrize("line, expected", HEADERS)
def test_function_headers(line, expected):
    p = VBAParser()
    f = p._parse_function_definition(line, PATH, 12)
    assert (f.name, f.func_type, f.parameters) == expected
    assert (f.original_name, f.file_path, f.start_line, f.end_line, f.issues) == (f.name, PATH, 12, 0, [])
    assert p.functions == {}


PARAMETERS = [
    ("", []),
    ("  \u3000 ", []),
    ("Optional x As Long = 5", [("Optional", "Variant", "")]),
    ("Optional ByVal x As Long", [("Optional", "Variant", "")]),
    ("ParamArray args() As Variant", [("ParamArray", "Variant", "")]),
    ("arr() As Long", [("arr", "Variant", "")]),
    ("byval x as long", [("x", "long", "byval")]),
    ("ByValue As Long", [("ue", "Long", "ByVal")]),
    ("ByRef", [("ByRef", "Variant", "")]),
    ("a As New Foo", [("a", "New", "")]),
    ("x As Long[]", [("x", "Long[]", "")]),
    ("Optional x As Long = Max(1, 2), y", [("Optional", "Variant", ""), ("y", "Variant", "")]),
    (", a ,, b As String,", [("a", "Variant", ""), ("b", "String", "")]),
    ("(x), [x], ByVal c As Long", [("c", "Long", "ByVal")]),
    ("a As Long) ' see (x", [("a", "Long", "")]),
    # a stray ")" takes the depth below 0: no split until it comes back to 0
    ("a), b, c(, d", [("a", "Variant", ""), ("d", "Variant", "")]),
]


@pytest.mark.parametrize("text, expected", PARAMETERS)
def test_parameters(text, expected):
    assert VBAParser()._parse_function_parameters(text) == expected


# (reader, line) -> (key name, scope, correct_name, issue) or None when nothing is filed
DEFINITIONS = [
    ("type", "Type Point", ("Point", "public", "type_Point", "Type定义应以 'type_' 为前缀")),
    ("type", "Private Type type_Point", ("type_Point", "private", None, None)),
    ("type", "Public Type Type_Point", ("Type_Point", "public", "type_Type_Point", "Type定义应以 'type_' 为前缀")),
    ("enum", "PRIVATE Enum Colors", ("Colors", "private", "enum_Colors", "Enum定义应以 'enum_' 为前缀")),
    ("enum", "Public Enum enum_Colors ' rgb", ("enum_Colors", "public", None, None)),
    ("type", "Type (x)", None),
    ("enum", "Enum", None),
    ("type", "PrivateType type_T", ("type_T", "private", None, None)),
    ("type", "Friend Type T", None),
]


@pytest.mark.parametrize("reader, line, expected", DEFINITIONS)
def test_definitions(reader, line, expected):
    p = VBAParser()
    getattr(p, f"_parse_{reader}_definition")(line, ["ignored"], 9, PATH)
    target, other = (p.types, p.enums) if reader == "type" else (p.enums, p.types)
    assert other == {}
    if expected is None:
        assert target == {}
        return
    name, scope, correct, issue = expected
    (key, r), = target.items()
    assert key == f"{PATH}:{name}"
    assert (r.name, r.original_name, r.info_type, r.file_path, r.line_number) == (name, name, reader.title(), PATH, 9)
    assert (r.scope, r.correct_name, r.issue_description, r.reference_count, r.referenced_files) == (
        scope, correct, issue, 0, set())


def test_redefinition_replaces_in_place():
    p = VBAParser()
    p._parse_type_definition("Type Point", [], 1, PATH)
    p._parse_type_definition("Type Other", [], 2, PATH)
    p._parse_type_definition("Type Point", [], 3, PATH)
    p._parse_type_definition("Type Point", [], 4, "other.bas")
    assert [(k, r.line_number) for k, r in p.types.items()] == [
        (f"{PATH}:Point", 3), (f"{PATH}:Other", 2), ("other.bas:Point", 4)]


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p._parse_type_definition("Type T", ("x",), 1, PATH), "Argument 'all_lines' has incorrect type (expected list, got tuple)"),
        (lambda p: p._parse_enum_definition("Enum E", [], None, PATH), "Argument 'line_num' has incorrect type (expected int, got NoneType)"),
        (lambda p: p._parse_enum_definition("Enum E", [], 1, 2), "Argument 'file_path' has incorrect type (expected str, got int)"),
        (lambda p: p._parse_function_definition("Sub A", PATH, "1"), "Argument 'line_num' has incorrect type (expected int, got str)"),
        (lambda p: p._parse_function_parameters(None), "Argument 'params_str' has incorrect type (expected str, got NoneType)"),
        (lambda p: p._parse_variable_type(1), "Argument 'type_str' has incorrect type (expected str, got int)"),
    ],
)
def test_reader_arguments(call, message):
    with pytest.raises(TypeError) as e:
        call(VBAParser())
    assert str(e.value) == message


def test_float_line_numbers_are_truncated():
    p = VBAParser()
    assert p._parse_function_definition("Sub A", PATH, 3.99).start_line == 3
    p._parse_enum_definition("Enum E", [], 7.5, PATH)
    assert type(p.enums[f"{PATH}:E"].line_number) is int and p.enums[f"{PATH}:E"].line_number == 7
