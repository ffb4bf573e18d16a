"""The declaration reader gives exactly what the host's `re` gives for its pattern."""
import random
import re

import pytest

from tallowby.quillon.quillon import VariableScope as S
from tallowby.quillon.quillon import VariableType as T
from tallowby.quillon.quillon import VBAParser

PATTERN = re.compile(
    r"^\s*(Public|Private|Global|Dim|Const)\s+(?:(Const)\s+)?(?P<names>.+?)\s+As\s+(?:New\s+)?(?P<type>\w+)"
    r"(?:\s*\([^)]*\))?\s*(?:=\s*.+)?$",
    re.IGNORECASE,
)
TYPES = {
    "integer": T.INTEGER, "long": T.LONG, "single": T.SINGLE, "double": T.DOUBLE, "string": T.STRING,
    "boolean": T.BOOLEAN, "variant": T.VARIANT, "sitelong": T.SITELONG, "sitedouble": T.SITEDOUBLE,
    "siteboolean": T.SITEBOOLEAN, "dspwave": T.DSPWAVE, "pindata": T.PINDATA, "pinlistdata": T.PINLISTDATA,
    "pinlist": T.PINLIST, "pattern": T.PATTERN, "csl": T.CSL,
}


def expected(line):
    m = PATTERN.match(line)
    if not m:
        return []
    keyword = m.group(1).lower()
    scope = S.GLOBAL if keyword in ("public", "global") else S.MODULE_PRIVATE
    var_type = TYPES.get(m.group("type").lower(), T.VARIANT)
    is_const = m.group(2) is not None or keyword == "const"
    return [(name.strip(), var_type, is_const, scope) for name in m.group("names").split(",")]


def actual(line):
    p = VBAParser()
    p._parse_variable_declaration(line, "m.bas", 1, None)
    records = list(p.global_variables) + [r for lst in p.module_variables.values() for r in lst]
    return [(r.name, r.var_type, r.is_const, r.scope) for r in records]


SPACES = [" ", " ", " ", "  ", "   ", "\t", "\xa0", "\u3000", "\x1c", "\x85", "\n"]
KEYWORDS = ["Dim", "dim", "DIM", "Dım", "Public", "PUBLİC", "Private", "Global", "Const", "Conſt", "Static", "Dimx"]
PIECES = ["x", "a", "b", "arr(1 To 3)", "arr()", "é", "x_1", ",", ", ", ",,", "As", "as", "aſ", "New", "Const",
          "CONST", "(", ")", "=", "'", "' c", "As Long", "Long", "String * 8", "1", "\n", "Ä", "_", ":"]
TYPE_WORDS = ["Long", "LONG", "long", "PinList", "Collection", "New Collection", "New", "New  Foo", "Lonğ", "x1",
              "Long[]", "Double", "Kelvin\u212a", ""]
TAILS = ["", "", "", " ", "()", " (1 To 2)", "(", ")", " = 5", "=5", "= ", "=", " = (1)", " ' note", ": x = 1",
         " = 1 ' c", "\n", " =\n", " = a\nb", "(a)(b)", " (x) = 3", "\u3000=\u3000y"]


def generated_lines(seed, n):
    rng = random.Random(seed)
    for _ in range(n):
        parts = [rng.choice(["", "", " ", "\t"]), rng.choice(KEYWORDS), rng.choice(SPACES)]
        if rng.random() < 0.2:
            parts += [rng.choice(["Const", "const", "Conſt"]), rng.choice(SPACES)]
        for _ in range(rng.randint(1, 4)):
            parts.append(rng.choice(PIECES))
            if rng.random() < 0.5:
                parts.append(rng.choice(SPACES))
        if rng.random() < 0.85:
            parts += [rng.choice(SPACES), rng.choice(["As", "as", "AS", "aſ", "As\u3000", "As"]), rng.choice(SPACES),
                      rng.choice(TYPE_WORDS)]
        parts.append(rng.choice(TAILS))
        yield "".join(parts)


@pytest.mark.parametrize("seed", range(4))
def test_generated_declarations_match_the_host_pattern(seed):
    for line in generated_lines(seed, 1500):
        assert actual(line) == expected(line), repr(line)


@pytest.mark.parametrize(
    "line",
    [
        "Dim   As Long",  # the names may be white space given back by the keyword's \s+
        "Dim  As Long",
        "Dim x As New",
        "Dim x As New Foo",
        "Dim x As New  Foo = 1",
        "Const Const x As Long = 1",
        "Public Const  As Long",
        "Dim a As Long, b As String",
        "Dim x As Long =\n",
        "Dim x As Long = \n",
        "Dim x As Long\n",
        "Dim x\nAs Long",
        "Dim x As Long (1) (2)",
        "Dim x As Long(a = 1",
    ],
)
def test_awkward_declarations_match_the_host_pattern(line):
    assert actual(line) == expected(line)
