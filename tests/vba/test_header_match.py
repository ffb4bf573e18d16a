"""Procedure headers, parameter lists and Type / Enum headers: headers read as VBA writes them (Function,
Sub, Property Get/Let/Set, Static; the parameter list up to its own closing parenthesis), parameter pieces and
Type / Enum headers exactly as the host's `re` reads their patterns."""
import random
import re

import pytest

from tallowby.quillon.quillon import FunctionType as F
from tallowby.quillon.quillon import VBAParser

HEADER = re.compile(r"^\s*(Public|Private|Friend)?\s*(?:Static\s+)?(?:Function|Sub|Property\s+(?:Get|Let|Set))\s+"
                    r"(?P<name>\w+)[%&!#@$^]?\s*", re.IGNORECASE)
PARAMETER = re.compile(r"^(ByVal|ByRef)?\s*(?P<name>\w+)\s*(As\s+(?P<type>[\w\[\]]+))?", re.IGNORECASE)


def expected_parameters(params_str):
    if not params_str.strip():
        return []
    pieces, depth, current = [], 0, ""
    for c in params_str:
        if c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        elif c == "," and depth == 0:
            if current.strip():
                pieces.append(current.strip())
            current = ""
            continue
        current += c
    if current.strip():
        pieces.append(current.strip())
    triples = []
    for piece in pieces:
        m = PARAMETER.match(piece)
        if m:
            triples.append((m.group("name"), "Variant" if m.group("type") is None else m.group("type"),
                            "" if m.group(1) is None else m.group(1)))
    return triples


def closing(line, open_at):
    """The ")" closing the "(" at open_at; strings are passed over, a comment ends the search."""
    depth, in_string = 0, False
    for i in range(open_at, len(line)):
        c = line[i]
        if in_string:
            in_string = c != '"'
        elif c == '"':
            in_string = True
        elif c == "'":
            return -1
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def expected_header(line):
    m = HEADER.match(line)
    if not m:
        return "unknown", F.OTHER, []
    name = m.group("name")
    kind = next((k for s, k in (("_VBT", F.VBT), ("_DSP", F.DSP), ("_IP", F.IP)) if name.endswith(s)), F.OTHER)
    params = ""
    if m.end() < len(line) and line[m.end()] == "(":
        close = closing(line, m.end())
        if close < 0:
            close = line[: line.find("\n", m.end() + 1) % (len(line) + 1)].rfind(")")
        if close > m.end():
            params = line[m.end() + 1: close]
    return name, kind, expected_parameters(params)


def actual_header(line):
    f = VBAParser()._parse_function_definition(line, "m.bas", 7)
    assert (f.original_name, f.file_path, f.start_line, f.end_line, f.issues) == (f.name, "m.bas", 7, 0, [])
    return f.name, f.func_type, f.parameters


SPACES = ["", " ", " ", "  ", "\t", "\xa0", "\u3000", "\x1c", "\x85", "\n"]
MODIFIERS = ["", "", "Public", "PUBLIC", "public", "Publİc", "Private", "PRİVATE", "Prıvate", "Friend", "friend",
             "Frıend", "Publi", "Static"]
KINDS = ["Function", "FUNCTION", "Functıon", "Functİon", "Sub", "sub", "ſub", "SUB", "Su", "Subroutine", "Func",
         "Property Get", "property let", "Property  Set", "Property", "Property Put", "Static Sub", "Static  Function",
         "Static Property Get"]
NAMES = ["x", "Init_VBT", "Read_DSP_VBT", "Calc_IP", "Init_vbt", "9x", "é", "Größe", "变量", "_", "", "(", "ſ",
         "\u212a", "x1_IP", "Sub", "a.b"]
PARAM_WORDS = ["x", "ByVal", "byval", "BYREF", "ByRef", "Byval", "ByVa", "Bıval", "ByValue", "ByRefx", "Optional",
               "ParamArray", "arr()", "é", "9", "_", "[x]", "(x)", "ſ", "\u212a", "İ", ""]
PARAM_TAILS = ["", "", " As Long", " as long", " AS String", " aſ Long", " As  Long[]", " As [x]", " As New Foo",
               " As", " As ", "As Long", " As\u3000Long", " As\nLong", "\nAs Long", "() As Long", " = 5",
               " As Long = Max(1, 2)", " As Integer ' c", " As Long)", " As é", " As ]"]


def generated_parameter_text(rng):
    parts = []
    for _ in range(rng.randint(0, 4)):
        parts += [rng.choice(["", "", " ", "(", ")", "\n", "\u3000"]), rng.choice(PARAM_WORDS),
                  rng.choice(SPACES), rng.choice(PARAM_WORDS), rng.choice(PARAM_TAILS),
                  rng.choice([",", ", ", ",", ",,", " , ", ")", "(", ""])]
    return "".join(parts)


def generated_headers(seed, n):
    rng = random.Random(seed)
    for _ in range(n):
        parts = [rng.choice(SPACES), rng.choice(MODIFIERS), rng.choice(SPACES), rng.choice(KINDS),
                 rng.choice(SPACES + [" "] * 6), rng.choice(NAMES), rng.choice(SPACES)]
        r = rng.random()
        if r < 0.7:
            parts += ["(", generated_parameter_text(rng), rng.choice([")", ")", "", ") As Long", ")(", "))"])]
        elif r < 0.85:
            parts.append(rng.choice(["(", ")", "()", "(\n)", "(a)\n(b)", "(a) ' see (x)", "((a)", "((", "",
                                     '(Optional s As String = ")")', "(a ' c)", "(a(1), b)", "$(x)"]))
        parts.append(rng.choice(["", "", " As Long", " ' note (1)", ")", "\n", "\n)"]))
        yield "".join(parts)


@pytest.mark.parametrize("seed", range(4))
def test_generated_headers_read_as_vba_writes_them(seed):
    for line in generated_headers(seed, 1500):
        assert actual_header(line) == expected_header(line), repr(line)


@pytest.mark.parametrize("seed", range(4))
def test_generated_parameter_texts_read_as_the_host_pattern_reads_them(seed):
    rng = random.Random(100 + seed)
    p = VBAParser()
    for _ in range(1500):
        text = generated_parameter_text(rng)
        assert p._parse_function_parameters(text) == expected_parameters(text), repr(text)


@pytest.mark.parametrize(
    "line",
    [
        "PublicSub x",
        "FriendFunction F(a)",
        "Public  Sub",
        "Public Sub ",
        "Sub (x)",
        "Sub\nx(a)",
        "Sub x(a\n)",
        "Sub x(a)\n(b)",
        "Sub x (a) (b) ' c)",
        "Sub x(",
        "Sub x()",
        "Sub x(ByValue As Long)",
        "Sub x(ByVal)",
        "Sub x(ByVal\u3000y\xa0As\u3000Long)",
        "Sub x(ByVal(y))",
        "Sub x(By Val y)",
        "Sub x(ByRef ByVal y)",
        "Sub x(a As Long[]], b As [)",
        "ſub ſ(aſ aſ aſ)",
        "Publİc Functıon Init_VBT(ByVal İ As \u212a)",
        "Sub 9x(1)",
        "",
        " \u3000 ",
    ],
)
def test_awkward_headers_read_as_vba_writes_them(line):
    assert actual_header(line) == expected_header(line)


def test_parameter_triples_are_plain_tuples_of_str():
    (triple,) = VBAParser()._parse_function_parameters("byval x as long")
    assert type(triple) is tuple and [type(t) for t in triple] == [str, str, str]
    assert triple == ("x", "long", "byval")


DEFINITION_WORDS = ["Type", "TYPE", "type", "Enum", "ENUM", "enum", "Types", "Enu"]
SCOPE_WORDS = ["", "", "Public", "PUBLIC", "Private", "private", "PRİVATE", "Prıvate", "Publİc", "Publ", "Friend"]


@pytest.mark.parametrize("is_enum", [False, True])
def test_generated_definition_headers_read_as_the_host_pattern_reads_them(is_enum):
    word = "Enum" if is_enum else "Type"
    pattern = re.compile(rf"^\s*(?P<scope>Public|Private)?\s*{word}\s+(?P<name>\w+)", re.IGNORECASE)
    rng = random.Random(7 + is_enum)
    for n in range(2000):
        line = "".join([rng.choice(SPACES), rng.choice(SCOPE_WORDS), rng.choice(SPACES), rng.choice(DEFINITION_WORDS),
                        rng.choice(SPACES + [" "] * 4), rng.choice(NAMES + ["enum_A", "type_B", "Point"]),
                        rng.choice(["", " ' c", "(", "\n"])])
        p = VBAParser()
        (p._parse_enum_definition if is_enum else p._parse_type_definition)(line, [], n, "m.bas")
        found = [(k, t.name, t.scope, t.line_number) for k, t in (p.enums if is_enum else p.types).items()]
        m = pattern.match(line)
        want = []
        if m:
            scope = "private" if m.group("scope") is not None and m.group("scope").lower() == "private" else "public"
            want = [("m.bas:" + m.group("name"), m.group("name"), scope, n)]
        assert found == want, repr(line)
