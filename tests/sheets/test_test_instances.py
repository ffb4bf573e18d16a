import random
import re

import pytest

from tallowby.ostrand import Ostrand

KEYS = ["Method", "DC Category", "DC Selector", "TimeSet", "AC Category", "AC Selector", "PinLevel", "Pattern", "ArgList", "ArgDetails"]


def inst(name, width=20, **cells):
    """An instance row of fields "c<i>" (at least `width`, enough for the cells), with field 1 = name and cells
    given as f<i>=text."""
    width = max([width] + [int(key[1:]) + 1 for key in cells])
    fields = [f"c{i}" for i in range(width)]
    fields[1] = name
    for key, text in cells.items():
        fields[int(key[1:])] = text
    return fields


def read(write_sheet, headers, rows, sets=None, platform="UltraFLEX", **kw):
    parser = Ostrand()
    path = write_sheet("Test Instances.txt", headers(4) + rows, **kw)
    assert parser.read_test_instance(path, {} if sets is None else sets, platform) is None
    return parser.get_instance_info()


def patterns(info):
    return [record["Pattern"] for rows in info.values() for record in rows]


@pytest.mark.parametrize(
    "args, message",
    [
        ((None, {}), "Argument 'test_instance_path' has incorrect type (expected str, got NoneType)"),
        ((type("SheetPath", (str,), {})("a"), {}), "Argument 'test_instance_path' has incorrect type (expected str, got SheetPath)"),
        (("a", {}, None), "Argument 'platform' has incorrect type (expected str, got NoneType)"),
        (("a", {}, type("Platform", (str,), {})("UltraFLEX")), "Argument 'platform' has incorrect type (expected str, got Platform)"),
    ],
)
def test_arguments_are_exact_texts(args, message):
    with pytest.raises(TypeError) as info:
        Ostrand().read_test_instance(*args)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Ostrand().read_test_instance("a"), "Ostrand.read_test_instance() missing 1 required positional argument: 'pattern_set_dict'"),
        (lambda: Ostrand().read_test_instance("a", {}, "J750", 1), "Ostrand.read_test_instance() takes from 3 to 4 positional arguments but 5 were given"),
        (lambda: Ostrand().find_pat_path("p", "l"), "Ostrand.find_pat_path() missing 1 required positional argument: 'line_list'"),
        (lambda: Ostrand()._Ostrand__get_instance_content([]), "Ostrand.__get_instance_content() missing 1 required positional argument: 'pattern_info'"),
        (lambda: Ostrand().get_instance_info(1), "Ostrand.get_instance_info() takes 1 positional argument but 2 were given"),
    ],
)
def test_call_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_record_layout(write_sheet, headers):
    parser = Ostrand()
    path = write_sheet("ti.txt", headers(4) + [inst("inst_a", f14="x,y", f20="\tnot_read"), inst("", width=3)])
    parser.read_test_instance(platform="J750", pattern_set_dict={}, test_instance_path=path)
    info = parser.get_instance_info()
    assert list(info) == ["INST_A"]
    (record,) = info["INST_A"]
    assert list(record.items()) == [
        ("Method", "c3"),
        ("DC Category", "c5"),
        ("DC Selector", "c6"),
        ("TimeSet", "c9"),
        ("AC Category", "c7"),
        ("AC Selector", "c8"),
        ("PinLevel", "c11"),
        ("Pattern", ""),
        ("ArgList", "x,y"),
        ("ArgDetails", ["c15", "c16"]),
    ]


@pytest.mark.parametrize(
    "width, arg_list, details",
    [
        (20, "a,b,c", ["c15", "c16", "c17"]),
        (20, "", ["c15"]),  # "" splits into one empty piece
        (20, ",,,,,,,", ["c15", "c16", "c17", "c18", "c19\n"]),  # clipped at the row's end, line end kept
        (17, "a,b,c", ["c15", "c16\n"]),
        (15, "a", []),
    ],
)
def test_arg_details_length(write_sheet, headers, width, arg_list, details):
    info = read(write_sheet, headers, [inst("i", width=width, f14=arg_list)])
    assert info["I"][0]["ArgDetails"] == details
    assert info["I"][0]["ArgList"] == (arg_list if width > 15 else arg_list + "\n")


@pytest.mark.parametrize(
    "platform, found",
    [
        ("UltraFLEX", ["n92.pat", "n93.pat", "n143.pat"]),
        ("UltraFLEXplus", ["n92.patx", "n93.patx", "n143.patx"]),
        ("MyUltraFLEXplus", ["n92.pat", "n93.pat", "n143.pat"]),  # ".patx" only for the exact text
        ("J750", ["n92.pat"]),
    ],
)
def test_scan_width_and_expression_by_platform(write_sheet, headers, platform, found):
    cells = {f"f{i}": f"n{i}.patx" for i in (92, 93, 143, 144)}
    info = read(write_sheet, headers, [inst("i", width=150, f0="z.pat", **cells)], platform=platform)
    assert patterns(info) == [",".join(found)]


def test_default_platform_is_ultraflexplus(write_sheet, headers):
    parser = Ostrand()
    parser.read_test_instance(write_sheet("ti.txt", headers(4) + [inst("i", width=150, f143="a.patx")]), {})
    assert patterns(parser.get_instance_info()) == ["a.patx"]


@pytest.mark.parametrize(
    "cell, platform, found",
    [
        ("a.pat b.pat", "UltraFLEX", "a.pat b.pat"),  # greedy: up to the last ".pat" of the field
        ("Dir/X.PAT.GZ", "UltraFLEX", "Dir/X.PAT"),
        ("X.PATX.GZ", "UltraFLEXplus", "X.PATX"),
        ("x.patx", "UltraFLEX", "x.pat"),
        ("x.pat", "UltraFLEXplus", ""),
        ("Mixed.PaT", "J750", "Mixed.PaT"),
        (".pat", "UltraFLEX", ""),  # at least one character before the extension
        ("a\xa0b.pat", "UltraFLEX", ""),  # other white space ends the name
    ],
)
def test_pattern_names_in_a_field(write_sheet, headers, cell, platform, found):
    info = read(write_sheet, headers, [inst("i", f20=cell, f21="c.txt")], platform=platform)
    assert patterns(info) == [found]


AWKWARD = ["a", "P", "t", "T", "x", "X", ".", " ", "/", "é", "ß", "ǅ", "İ", "\u017f", "\u212a", "\ufeff",
           "\xa0", "\u3000", "\x1c", "\x1f", "\x0b", "\x0c", "\x85", "\u2028", "\u200b",
           ".pat", ".PAT", ".pAt", ".patx", ".PATX", ".pAtX", ".pa", "\tb.pat"]


def test_scanner_agrees_with_host_regex(write_sheet, headers):
    rand = random.Random(20240611)
    rows = []
    for k in range(400):
        fields = ["".join(rand.choice(AWKWARD) for _ in range(rand.randrange(6))) for _ in range(rand.randrange(15, 160))]
        fields[0], fields[1] = "z.pat", f"r{k}"
        rows.append("\t".join(fields))
    for platform, expression, width in [("UltraFLEX", r"\t([\S ]+\.pat)", 144), ("UltraFLEXplus", r"\t([\S ]+\.patx)", 144), ("J750", r"\t([\S ]+\.pat)", 93)]:
        info = read(write_sheet, headers, rows, platform=platform)
        pattern = re.compile(expression, re.IGNORECASE)
        expected = []
        for line in rows:
            scanned = "\t".join((line + "\n").split("\t")[:width])
            expected.append(",".join(pattern.findall(scanned)))
        assert patterns(info) == expected, platform
    assert any(expected), "the sample should hold pattern names"


class ProbeSets(dict):
    """A pattern-set map that records the names looked up in it."""

    def __init__(self, *a):
        super().__init__(*a)
        self.asked = []

    def __contains__(self, key):
        self.asked.append(key)
        return super().__contains__(key)


SETS = {"SET_A": ["a1.pat", "a2.pat"], "SET_B": ["b.pat"], "EMPTY": []}


@pytest.mark.parametrize(
    "cells, expected",
    [
        (["set_a", "", "", "", "", "Set_B"], "a1.pat,a2.pat,b.pat"),
        (["SET_B", "x", "SET_B", "", "", ""], "b.pat,b.pat"),
        (["EMPTY", "SET_B", "", "", "", ""], ",b.pat"),
        (["SET_B", "EMPTY", "SET_A", "", "", ""], "b.pat,,a1.pat,a2.pat"),
        (["EMPTY", "", "", "", "", ""], "scan.pat"),  # an empty set alone: the row is scanned
        (["nothing", "", "", "", "", ""], "scan.pat"),
    ],
)
def test_pattern_sets_named_in_fields_14_to_19(write_sheet, headers, cells, expected):
    sets = ProbeSets(SETS)
    row = inst("i", width=22, f20="SET_A", f21="scan.pat", **{f"f{14 + i}": c for i, c in enumerate(cells)})
    info = read(write_sheet, headers, [row], sets=sets)
    assert patterns(info) == [expected]
    assert sets.asked == [c.upper() for c in cells]
    assert sets == SETS


def test_empty_set_map_scans_every_row(write_sheet, headers):
    sets = ProbeSets()
    info = read(write_sheet, headers, [inst("i", f14="SET_A", f17="s.pat")], sets=sets)
    assert patterns(info) == ["s.pat"] and sets.asked == []


def test_rows_accumulate_under_upper_cased_names(write_sheet, headers):
    parser = Ostrand()
    first = write_sheet("a.txt", headers(4) + [inst("Inst", f3="m1"), inst("straße", f3="m2"), inst("INST", f3="m3"),
                                               inst("", width=3), inst("after_end", f3="m4")])
    second = write_sheet("b.txt", headers(4) + [inst("inst", f3="m5")])
    parser.read_test_instance(first, {}, "UltraFLEX")
    held = parser.get_instance_info()
    parser.read_test_instance(second, {}, "UltraFLEX")
    assert held is parser.get_instance_info() is parser._Ostrand__test_instance_dict
    assert {name: [r["Method"] for r in rows] for name, rows in held.items()} == {"INST": ["m1", "m3", "m5"], "STRASSE": ["m2"]}


def test_space_encoded_path(write_sheet, headers, tmp_path):
    write_sheet("Test Inst.txt", headers(4) + [inst("i")])
    parser = Ostrand()
    parser.read_test_instance(str(tmp_path / "Test%20Inst.txt"), {}, "UltraFLEX")
    assert list(parser.get_instance_info()) == ["I"]


@pytest.mark.parametrize(
    "bad, sets",
    [
        ("", {}),  # a blank line: no field 1
        (inst("new", width=14), {}),  # no field 14
        (inst("new", width=19, f15="a.pat"), SETS),  # the set route reads fields 14 to 19
    ],
)
def test_short_rows_fail_and_keep_what_was_read(write_sheet, headers, bad, sets):
    parser = Ostrand()
    path = write_sheet("ti.txt", headers(4) + [inst("kept"), bad, inst("later")])
    with pytest.raises(IndexError, match="^list index out of range$"):
        parser.read_test_instance(path, sets, "UltraFLEX")
    info = parser.get_instance_info()
    assert len(info["KEPT"]) == 1 and "LATER" not in info
    assert info.get("NEW", []) == []
    assert ("NEW" in info) == (bad != "")


def test_missing_file(tmp_path):
    parser = Ostrand()
    with pytest.raises(FileNotFoundError):
        parser.read_test_instance(str(tmp_path / "none.txt"), {}, "UltraFLEX")
    assert parser.get_instance_info() == {}


def test_public_helpers():
    parser = Ostrand()
    line_list = inst("row", f14="a,b", f20="x.PAT")
    line = "\t".join(line_list)
    with pytest.raises(KeyError):
        parser.find_pat_path(re.compile(r"\t([\S ]+\.pat)", re.I), line, line_list)
    parser.get_instance_info()["ROW"] = []
    parser.find_pat_path(re.compile(r"\t([\S ]+\.pat)", re.I), line, line_list)
    parser.find_pat_path(r"\t([\S ]+\.pat)", line, line_list)  # a pattern text: letter case counts
    assert [r["Pattern"] for r in parser.get_instance_info()["ROW"]] == ["x.PAT", ""]
    record = parser._Ostrand__get_instance_content(line_list, "p.pat")
    assert list(record) == KEYS
    assert (record["Pattern"], record["ArgDetails"]) == ("p.pat", ["c15", "c16"])
