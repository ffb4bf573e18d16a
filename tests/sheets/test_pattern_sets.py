"""Pattern set sheets, pattern file paths of sets and cycle counts from pattern listings."""
import re
import subprocess
import sys

import pytest

from tallowby.pendrel import Pendrel

UFX = "UltraFLEX"
EXTENSIONS = [".PATX.GZ", ".PAT.GZ", ".PATX", ".PAT"]


def row(name, item, cell=5, width=None):
    """A data row with the set name in cell 1 and the item in `cell`; other cells hold their index."""
    width = width or cell + 2
    fields = [f"c{i}" for i in range(width)]
    fields[1] = name
    if cell < width:
        fields[cell] = item
    return fields


def sheet(write_sheet, rows, version="version=2.0:", name="patsets.txt"):
    return write_sheet(name, [version, "header 1", "header 2"] + rows)


def read(path, platform=UFX, parser=None):
    parser = parser or Pendrel()
    assert parser.read_pattern_set(path, "./patterns", platform) is None
    return parser


def sets_of(parser):
    return parser._Pendrel__pattern_set_dict


# ---------------------------------------------------------------- reading the sheet


@pytest.mark.parametrize(
    "platform, line0, version, item",
    [
        ("UltraFLEXplus", "x\tversion=2.3:\ty", "2.3", "c4"),
        (UFX, "version=1.1:", "1.1", "c2"),
        (UFX, "version=2.30:", "2.30", "c5"),
        (UFX, "version=1.10:", "1.10", "c5"),
        (UFX, "version=:2.3:", ":2.3", "c5"),  # the lazy group takes at least one character
        ("J750", "DFF 1.1 sheet", "1.1", "c2"),
        ("J750", "DFF 2.3", "2.3", "c4"),
        ("J750", "DFF 1.10", "1.10", "c5"),
        ("J750", "DFF \u0661.\u0661", "\u0661.\u0661", "c5"),  # Unicode digits match, but are not "1.1"
    ],
)
def test_version_selects_the_item_cell(write_sheet, platform, line0, version, item):
    parser = read(write_sheet("p.txt", [line0, "h", "h", [f"c{i}" if i != 1 else "S" for i in range(7)]]), platform)
    assert parser._Pendrel__pattern_set_version == version
    assert sets_of(parser) == {"S": [item]}


@pytest.mark.parametrize("platform, line0", [("J750", "version=2.3:"), (UFX, "DFF 1.1"), (UFX, "version=2.3")])
def test_version_line_without_a_match(write_sheet, platform, line0):
    parser = read(sheet(write_sheet, [row("OLD", "o.pat")], name="first.txt"))
    path = write_sheet("p.txt", [line0, "h", "h", row("S", "a.pat")])
    with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'group'"):
        parser.read_pattern_set(path, "", platform)
    assert sets_of(parser) == {"OLD": ["o.pat"]}
    assert parser._Pendrel__pattern_set_version == "2.0"


def test_rows_group_into_sets(write_sheet):
    rows = [row("S1", "p1.pat"), row("S1", "p2.pat"), row("S2", "p3.pat"), row("S1", "p4.pat"),
            row("Burst_A", "a1.pat"), row("BURST_A", "a2.pat"), row("BURST_A", "a3.pat"),
            row("", "stop.pat"), row("S3", "after.pat")]
    parser = read(sheet(write_sheet, rows))
    assert list(sets_of(parser).items()) == [("S1", ["p4.pat"]), ("S2", ["p3.pat"]), ("BURST_A", ["a2.pat", "a3.pat"])]
    assert list(parser.get_pattern_cycle_info().items()) == [("S1", 0), ("S2", 0), ("BURST_A", 0)]


def test_reads_accumulate_and_never_continue_a_set(write_sheet):
    parser = read(sheet(write_sheet, [row("A", "a1.pat"), row("B", "b1.pat")], name="one.txt"))
    cycles = parser.get_pattern_cycle_info()
    cycles["B"] = 7
    read(sheet(write_sheet, [row("B", "b2.pat"), row("C", "c.pat")], name="two.txt"), parser=parser)
    assert list(sets_of(parser).items()) == [("A", ["a1.pat"]), ("B", ["b2.pat"]), ("C", ["c.pat"])]
    assert cycles is parser.get_pattern_cycle_info()  # the live map, not a copy
    assert cycles == {"A": 0, "B": 0, "C": 0}


@pytest.mark.parametrize("lines", [[], ["version=2.3:"], ["version=2.3:", "h1", "h2"]])
def test_short_sheet_stores_no_set(write_sheet, lines):
    parser = read(write_sheet("p.txt", lines))
    assert sets_of(parser) == {} and parser.get_pattern_cycle_info() == {}
    assert parser._Pendrel__pattern_set_version == ("2.3" if lines else None)


@pytest.mark.parametrize(
    "bad_row",
    [
        "",  # a blank line has a single cell
        "no tabs here",
        ["", "S", "c2", "c3", "c4"],  # too short for item cell 5
    ],
)
def test_row_failures_keep_what_was_read(write_sheet, bad_row):
    parser = Pendrel()
    path = sheet(write_sheet, [row("S", "a.pat"), row("S", "b.pat"), bad_row, row("T", "t.pat")])
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_pattern_set(path, "")
    assert sets_of(parser) == {"S": ["a.pat", "b.pat"]}


def test_first_row_of_a_set_failing_leaves_only_its_cycle_entry(write_sheet):
    parser = Pendrel()
    with pytest.raises(IndexError):
        parser.read_pattern_set(sheet(write_sheet, [row("S", "a.pat"), ["", "T", "c2"]]), "")
    assert sets_of(parser) == {"S": ["a.pat"]}
    assert parser.get_pattern_cycle_info() == {"S": 0, "T": 0}


def test_space_encoded_path_and_line_ends(write_sheet, tmp_path):
    write_sheet("pat sets.txt", ["version=1.1:", "h", "h", ["", "S", "a.pat"]], newline="\r\n", final_newline=False)
    parser = read(str(tmp_path / "pat%20sets.txt"))
    assert sets_of(parser) == {"S": ["a.pat"]}  # last cell, no line end at the end of the file
    with pytest.raises(FileNotFoundError):
        Pendrel().read_pattern_set(str(tmp_path / "missing%20file.txt"), "")
    with pytest.raises(IsADirectoryError):
        Pendrel().read_pattern_set(str(tmp_path), "")


@pytest.mark.parametrize(
    "args, message",
    [
        ((None, ""), "Argument 'pattern_set_path' has incorrect type (expected str, got NoneType)"),
        (("p.txt", None), "Argument 'pattern_file_path' has incorrect type (expected str, got NoneType)"),
        (("p.txt", "", b"J750"), "Argument 'platform' has incorrect type (expected str, got bytes)"),
        ((type("SheetPath", (str,), {})("p.txt"), ""), "Argument 'pattern_set_path' has incorrect type (expected str, got SheetPath)"),
    ],
)
def test_arguments_are_exact_texts(args, message):
    parser = Pendrel()
    with pytest.raises(TypeError) as info:
        parser.read_pattern_set(*args)
    assert str(info.value) == message
    with pytest.raises(TypeError, match=r"Argument 'pat_path' has incorrect type \(expected str, got int\)"):
        parser.get_pat_path(1)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.read_pattern_set("a"), "Pendrel.read_pattern_set() missing 1 required positional argument: 'pattern_file_path'"),
        (lambda p: p.get_pattern_set_info(1), "Pendrel.get_pattern_set_info() takes 1 positional argument but 2 were given"),
        (lambda p: p.truncate_after_substring(s="a"), "Pendrel.truncate_after_substring() missing 1 required positional argument: 'substrings'"),
        (lambda p: p.read_pattern_file("a", "b", "c"), "Pendrel.read_pattern_file() takes 3 positional arguments but 4 were given"),
        (lambda p: p.get_pattern_tset(x=1), "Pendrel.get_pattern_tset() got an unexpected keyword argument 'x'"),
    ],
)
def test_call_wording(call, message):
    with pytest.raises(TypeError) as info:
        call(Pendrel())
    assert str(info.value) == message


# ---------------------------------------------------------------- pattern file paths


@pytest.mark.parametrize(
    "item, paths",
    [
        ("dir/a.PATX.GZ", ["dir/a.PATX.GZ"]),
        ("dir/a.pat.gz.old", ["dir/a.pat.gz"]),
        ("x.pattern", ["x.pat"]),
        ("a.pat_b.patx.gz.1", ["a.pat_b.patx.gz"]),  # ".PATX.GZ" is tried first
        ("Mixed.PaTx", ["Mixed.PaTx"]),
        ("a.pat\n", ["a.pat"]),  # a line end left in the last cell is cut off
        ("A.PATSET", ["A.PAT"]),  # taken as a file even though a set of that name exists
        ("stra\xdfe.pat.x", ["stra\xdfe.pat"]),  # upper-casing lengthens the text; positions are the lower-cased text's
    ],
)
def test_pattern_file_items(item, paths, write_sheet):
    parser = read(sheet(write_sheet, [row("A.PATSET", "z.pat")]))
    assert parser.get_pat_path(item) == paths


def test_nested_sets_resolve_to_pattern_files(write_sheet):
    rows = [row("Top", "a.pat"), row("Top", "sub"), row("Top", "x.patx.gz"), row("Top", "Sub"),
            row("SUB", "s1.PAT"), row("SUB", "deep"), row("deep", "d.pat.gz"),
            row("Other", "TOP", width=6)]  # item in the last cell keeps its line end: no set of that name
    parser = read(sheet(write_sheet, rows))
    before = {k: list(v) for k, v in sets_of(parser).items()}
    assert parser.get_pat_path("sub") == ["s1.PAT", "d.pat.gz"]
    with pytest.raises(ValueError) as info:
        parser.get_pattern_set_info()
    assert str(info.value) == "Error: Patset found item without pattern definition: TOP\n"
    sets_of(parser).pop("OTHER")
    resolved = parser.get_pattern_set_info()
    assert list(resolved.items()) == [
        ("TOP", ["a.pat", "s1.PAT", "d.pat.gz", "x.patx.gz", "s1.PAT", "d.pat.gz"]),  # a set used twice expands twice
        ("SUB", ["s1.PAT", "d.pat.gz"]),
        ("DEEP", ["d.pat.gz"]),
    ]
    again = parser.get_pattern_set_info()
    assert again == resolved and again is not resolved and again["SUB"] is not resolved["SUB"]
    resolved["TOP"].append("changed")
    assert parser.get_pattern_set_info()["TOP"][-1] == "d.pat.gz"
    before.pop("OTHER")
    assert sets_of(parser) == before  # resolving changes nothing that was read


@pytest.mark.parametrize("item", ["", "unknown", "a.pa", "sub "])
def test_unresolvable_item(write_sheet, item):
    parser = read(sheet(write_sheet, [row("SUB", "s.pat")]))
    with pytest.raises(ValueError) as info:
        parser.get_pat_path(item)
    assert str(info.value) == "Error: Patset found item without pattern definition: " + item


@pytest.mark.parametrize(
    "rows, chain",
    [
        ([row("A", "a")], "A -> A"),
        ([row("A", "x.pat"), row("A", "b"), row("B", "A")], "A -> B -> A"),
        ([row("A", "b"), row("B", "c"), row("C", "b")], "A -> B -> C -> B"),
    ],
)
def test_a_set_that_contains_itself(write_sheet, rows, chain):
    parser = read(sheet(write_sheet, rows))
    with pytest.raises(RecursionError) as info:
        parser.get_pattern_set_info()
    assert str(info.value) == "pattern set contains itself: " + chain
    with pytest.raises(RecursionError, match="^pattern set contains itself: A -> "):
        parser.get_pat_path("a")


def test_deep_nesting_without_a_cycle(write_sheet):
    depth = 50000  # far beyond any recursion limit
    rows = [row(f"S{i}", f"s{i + 1}") for i in range(depth)] + [row(f"S{depth}", "leaf.pat")]
    parser = read(sheet(write_sheet, rows))
    assert parser.get_pat_path("s0") == ["leaf.pat"]
    sets_of(parser)[f"S{depth}"].append("s0")
    with pytest.raises(RecursionError, match=f"^pattern set contains itself: S0 -> S1 -> .* -> S{depth} -> S0$"):
        parser.get_pat_path("s0")


@pytest.mark.parametrize(
    "s, substrings, result",
    [
        ("a.PAT", [".PAT"], "a.PAT"),  # the occurrence ends at the end
        ("b.pat.patx", [".PATX", ".PAT"], "b.pat"),
        ("a.pat.gz.old", EXTENSIONS, "a.pat.gz"),
        ("x.PAT.y.patx.z", [".patx", ".pat"], "x.PAT.y.patx"),  # the first element that hits wins
        ("abc", [], "abc"),
        ("abc", [""], ""),
        ("ABCABC", ("bc",), "ABC"),
        ("K.pat", ["\u212a.pat"], "K.pat"),  # Kelvin sign lower-cases to "k"; found at the end only
    ],
)
def test_truncate_after_substring(s, substrings, result):
    assert Pendrel().truncate_after_substring(s, substrings) == result


@pytest.mark.parametrize(
    "s, substrings, result",
    [
        ("a.pat", [".PAT"], False),  # case-sensitive
        ("A.PAT.GZ", EXTENSIONS, True),
        ("abc", [], False),
        ("abc", iter(["x", "b"]), True),
        (["a", "b"], ["b"], True),  # any container: `sub in s`
    ],
)
def test_contains_any_substring(s, substrings, result):
    assert Pendrel().contains_any_substring(s, substrings) is result


# ---------------------------------------------------------------- cycle counts from listings


def listing(tmp_path, lines, name="listing.txt"):
    path = tmp_path / name
    path.write_text("".join(lines), encoding="utf-8")
    return str(path)


@pytest.fixture
def counted(write_sheet):
    """A parser that has read the set "BURST" (cycle count 0)."""
    return read(sheet(write_sheet, [row("Burst", "b.pat")]))


@pytest.mark.parametrize(
    "lines, added",
    [
        (["Number of pattern vectors: 100\n", "1 0x000010 repeat = 3\n", "2 0x000200 repeat = 5\n"], 148),
        (["header\n", "  indented 1 0x000010 repeat = 3\n"], 0),
        (["Number of pattern vectors: 10\n", "x\n", "Number of pattern vectors: 20\n"], 20),
        (["Number  of pattern vectors: 12\n", "Number of pattern vectors:12\n"], 0),
        (["1 00000010 repeat = 3\n"], 48),
        (["1 0X000010 repeat = 3\n", "1 0x000 repeat = 3\n", "1 000 repeat = 9\n"], 0),
        (["1 0x0000 repeat = 7\n"], 0),
        ([" 1 0x000010 repeat = 3\n"], 0),
        (["9 Number of pattern vectors: 7 repeat = 2\n"], 7),  # also a vector line; value "Number" counts 0
        (["1\t0x00001f\trepeat = 2 repeat = 5\n"], 62),  # the first repeat count
        (["Total: Number of pattern vectors: 5 and Number of pattern vectors: 6\n"], 5),
        (["1 0x0000_10 repeat = 2\n"], 32),  # what int(value, 16) accepts
        (["1 0x0000ffffffffffffffffffff repeat = 99999999999999999999\n"], 0xFFFFFFFFFFFFFFFFFFFF * 99999999999999999999),
        (["1 0x00007fffffffffffffff repeat = 4\n"] * 3, 12 * 0x7FFFFFFFFFFFFFFF),  # past 64 bits in the sum
        (["Number of pattern vectors: 1\n", "1 0x000001 repeat = 1"], 2),  # no line end at the end
    ],
)
def test_vector_counts(tmp_path, counted, lines, added):
    assert counted.read_pattern_file(listing(tmp_path, lines), "burst") is None
    assert counted.get_pattern_cycle_info() == {"BURST": added}


def test_counts_add_up_over_reads(tmp_path, counted):
    path = listing(tmp_path, ["Number of pattern vectors: 100\n", "1 0x000010 repeat = 3\n"])
    cycles = counted.get_pattern_cycle_info()
    counted.read_pattern_file(path, "Burst")
    counted.read_pattern_file(pattern_set_name="BURST", pattern_file_path=path)
    assert cycles == {"BURST": 296}


@pytest.mark.parametrize(
    "lines, set_name, error, message",
    [
        (["1 0x000010 repeat=3\n"], "BURST", AttributeError, "'NoneType' object has no attribute 'group'"),
        (["Number of pattern vectors: 5\n"], "OTHER", KeyError, "'OTHER'"),
        (["1 0x0000zz repeat = 3\n"], "BURST", ValueError, "invalid literal for int() with base 16: '0x0000zz'"),
        (["1 0000-1 repeat = 3\n"], "BURST", ValueError, "invalid literal for int() with base 16: '0000-1'"),
        (["Number of pattern vectors: 5\n"], 5, AttributeError, "'int' object has no attribute 'upper'"),
    ],
)
def test_vector_count_failures_change_nothing(tmp_path, counted, lines, set_name, error, message):
    with pytest.raises(error) as info:
        counted.read_pattern_file(listing(tmp_path, ["1 0x000010 repeat = 3\n"] + lines), set_name)
    assert str(info.value) == message
    assert counted.get_pattern_cycle_info() == {"BURST": 0}
    with pytest.raises(FileNotFoundError):
        counted.read_pattern_file(str(tmp_path / "missing.txt"), "BURST")


def reference_count(lines):
    """The count as the host's `re` and int() give it, line by line."""
    total, count = 0, "0"
    for line in lines:
        found = re.search(r"Number\sof\spattern\svectors:\s(\d+)", line)
        if found:
            count = found.group(1)
        if re.match(r"\d", line):
            repeat = re.search(r"repeat\s=\s(\d+)", line).group(1)
            value = re.split(r"\s+", line)[1]
            if not (value[:6] == "0x0000" or value[:4] == "0000"):
                value = "0"
            total += int(repeat) * int(value, 16)
    return total + int(count)


AWKWARD = [
    "Number\xa0of\u3000pattern\x1cvectors:\t\u0661\u0662\n",
    "Number of pattern vectors:\u2029 7 x\n",
    "\u0663 0x000010 repeat\xa0=\u3000\u0662\u0663\n",
    "\u0664\x1c0x0000ab\x85repeat\x1f=\x1d2\n",
    "5\u00a0\u00a00000ff repeat = 0012 tail\n",
    "7 0x0000a repeat = 3\u2028more\n",
    "\u0e58 0000 repeat\v=\f4\n",
    "8\t\t0x00001\trepeat =  9 repeat = 2\n",
    "Number of pattern vectors: 3\u0664\u0665 extra\n",
    "9 0x0000\u0661 repeat = 1\n",
    "1 0x000001 repeat = 1",
]


@pytest.mark.parametrize("start", range(0, len(AWKWARD), 3))
def test_scanning_agrees_with_the_host(tmp_path, counted, start):
    lines = AWKWARD[start:] + AWKWARD[:start]
    path = listing(tmp_path, lines)
    with open(path) as f:
        expected = reference_count(f.readlines())
    counted.read_pattern_file(path, "burst")
    assert counted.get_pattern_cycle_info()["BURST"] == expected


def test_a_long_chain_of_sets_resolves_each_set_once(write_sheet):
    # every set of the chain would otherwise be walked again for each set above it
    depth = 16000
    rows = [row(f"S{i}", f"s{i + 1}") for i in range(depth)] + [row(f"S{depth}", "leaf.pat")]
    path = sheet(write_sheet, rows)
    code = f"""
from tallowby.pendrel import Pendrel
p = Pendrel()
p.read_pattern_set({path!r}, "./patterns", "UltraFLEX")
resolved = p.get_pattern_set_info()
assert len(resolved) == {depth + 1} and all(v == ["leaf.pat"] for v in resolved.values())
"""
    subprocess.run([sys.executable, "-c", code], check=True, timeout=60)


def test_sets_that_double_at_every_level_fail_before_memory_runs_out(write_sheet):
    levels = 30
    rows = [r for i in range(levels) for r in (row(f"S{i}", f"s{i + 1}"), row(f"S{i}", f"S{i + 1}"))]
    parser = read(sheet(write_sheet, rows + [row(f"S{levels}", "leaf.pat")]))
    with pytest.raises(ValueError) as info:
        parser.get_pattern_set_info()
    assert str(info.value) == "pattern set S0 stands for more than 1048576 pattern files"
    with pytest.raises(ValueError, match="^pattern set s0 stands for more than"):
        parser.get_pat_path("s0")
    assert parser.get_pat_path(f"s{levels - 19}") == ["leaf.pat"] * 2**19  # within the bound
