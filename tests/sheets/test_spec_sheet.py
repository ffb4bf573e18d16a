import re

import pytest

from tallowby.dunmarrow import Dunmarrow
from tallowby.sunmere import Sunmere
from tallowby.tormund import Tormund, get_spec_info

UFX_VERSION = "x\tversion=2.1:rest"
J750_VERSION = "DFF 1.5 Spec Sheet"

# The worked example: categories c1, -, c2; selectors under every column.
EXAMPLE = [
    UFX_VERSION,
    "ignored\tline",
    ["", "", "", "c1", "", "c2"],
    ["", "Symbol", "Value", "typ", "max", "typ"],
    ["", "vdd", "1", "a_x", "1.9", "1.7"],
]


def read(path, platform="UltraFLEX", parser=None):
    parser = parser or Tormund()
    assert parser.read_spec(path, platform) is None
    return parser


def test_worked_example_keeps_line_ends_in_last_key_and_value(write_sheet):
    parser = read(write_sheet("AC Specs.txt", EXAMPLE))
    assert parser.get_spec_version() == "2.1"
    specs = parser.get_info()
    assert list(specs) == ["VDD"]
    assert list(specs["VDD"].items()) == [("C1 TYP", "A_X"), ("C1 MAX", "1.9"), ("C2\n TYP\n", "1.7\n")]
    assert parser._Tormund__spec_dict is specs
    assert parser._Tormund__spec_version == "2.1"


@pytest.mark.parametrize(
    "platform, line0, version",
    [
        ("UltraFLEX", "a\tversion=3.0:b\tversion=4:", "3.0"),
        ("UltraFLEXplus", "version=1.2.3:\t", "1.2.3"),
        ("J750", "DFF 1.5\tversion=9:", "1.5"),
        ("ultraflex", "DFF 7 version=9:", "7"),  # case-sensitive platform test: the DFF rule
        ("J750", "xDFF 12.34.5", "12.34"),
    ],
)
def test_version_line_by_platform(write_sheet, platform, line0, version):
    parser = read(write_sheet("s.txt", [line0, "", ["", "", "", "c"], ["", "", "", "s"]]), platform)
    assert parser.get_spec_version() == version
    assert parser.get_info() == {}


# Awkward white space and digits around the version text: the host's `re` decides.
AWKWARD = ["\xa0", "\u3000", "\x1c", "\x85", "\u200b", "\ufeff", " "]
VERSION_LINES = (
    [("UltraFLEX", f"version=1{s}2:") for s in AWKWARD]
    + [("UltraFLEXplus", f"version={s}:x:") for s in AWKWARD]
    + [("J750", f"DFF{s}1") for s in AWKWARD]
    + [("J750", "DFF 1.\u00a02"), ("J750", "DFF \u0661\u0662"), ("UltraFLEX", "version=:"), ("UltraFLEX", "")]
)


@pytest.mark.parametrize("platform, line0", VERSION_LINES)
def test_version_patterns_agree_with_host_re(write_sheet, platform, line0):
    pattern = r"version=(\S+?):" if "UltraFLEX" in platform else r"DFF (\d+(\.\d+)?)"
    expected = re.search(pattern, line0 + "\n")
    parser = Tormund()
    path = write_sheet("v.txt", [line0])
    if expected is None:
        with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'group'"):
            parser.read_spec(path, platform)
        assert parser.get_spec_version() == ""
    else:
        parser.read_spec(path, platform)
        assert parser.get_spec_version() == expected.group(1)


def test_version_mismatch_keeps_earlier_version_and_rows(write_sheet):
    parser = read(write_sheet("a.txt", EXAMPLE))
    held = parser.get_info()
    bad = write_sheet("b.txt", ["no version here"] + EXAMPLE[1:4] + [["", "vss", "", "1", "2", "3"]])
    with pytest.raises(AttributeError):
        parser.read_spec(bad, "UltraFLEX")
    assert parser.get_spec_version() == "2.1"
    assert list(held) == ["VDD"] and held is parser.get_info()


@pytest.mark.parametrize(
    "categories, selectors, entries",
    [
        (
            ["", "", "", "c1", "", "", "c2"],
            ["", "", "", "a", "b", "c", "d"],
            [("C1 A", "V3"), ("C1 B", "V4"), ("C1 C", "V5"), ("C2\n D\n", "V6\n")],
        ),
        # empty from column 0 on: nothing to fill from, a key is a blank and the selector
        (["", "", "", "", "c"], ["s0", "s1", "s2", "x", "y"], [(" X", "V3"), ("C\n Y\n", "V4\n")]),
        # blanks are not empty, nor is a last cell of only the line end
        (["", "", "", " ", "", ""], ["", "", "", "a", "b", ""], [("  A", "V3"), ("  B", "V4"), ("\n \n", "V5\n")]),
        # a short selector line leaves the bare categories
        (["", "", "", "c1", "c2", "c3"], ["", "", "", "a"], [("C1 A\n", "V3"), ("C2", "V4"), ("C3\n", "V5\n")]),
        # keys equal once upper-cased: one entry, at the first column, with the later value
        (["", "", "", "c", "C", "z"], ["", "", "", "t", "T", "q"], [("C T", "V4"), ("Z\n Q\n", "V5\n")]),
    ],
)
def test_header_keys_forward_fill_and_selector_join(write_sheet, categories, selectors, entries):
    row = ["", "sym", "", "v3", "v4", "v5", "v6"][: len(categories)]
    parser = read(write_sheet("s.txt", [UFX_VERSION, "", categories, selectors, row]))
    assert list(parser.get_info()["SYM"].items()) == entries


def test_rows_accumulate_over_reads_and_replace_in_place(write_sheet):
    head = [UFX_VERSION, "", ["", "", "", "c"], ["", "", "", "s"]]
    first = write_sheet("1.txt", head + [["x", "vdd", "", "1"], ["x", "io", "", "2"], ["x", "VDD", "", "3"]])
    second = write_sheet("2.txt", ["version=9:"] + head[1:] + [["x", "new", "", "4"], ["x", "io", "", "5", "extra"]])
    parser = Sunmere()
    parser.read_ac_spec(first, "UltraFLEX")
    held = parser.get_ac_info()
    assert list(held.items()) == [("VDD", {"C\n S\n": "3\n"}), ("IO", {"C\n S\n": "2\n"})]
    parser.read_ac_spec(second, "UltraFLEX")
    assert held is parser.get_info()
    assert list(held.items()) == [("VDD", {"C\n S\n": "3\n"}), ("IO", {"C\n S\n": "5"}), ("NEW", {"C\n S\n": "4\n"})]
    assert parser.get_spec_version() == "9"


def test_line_ends_cr_lf_and_lone_cr(write_sheet):
    for newline in ("\r\n", "\r"):
        parser = read(write_sheet("e.txt", EXAMPLE, newline=newline))
        assert parser.get_info()["VDD"]["C2\n TYP\n"] == "1.7\n"


@pytest.mark.parametrize(
    "lines, stored",
    [
        # selector line longer than the category line: nothing of this sheet stored
        (EXAMPLE[:2] + [["", "", "", "c"], ["", "", "", "s", "t"], ["", "vdd", "", "1"]], []),
        # data row shorter than the header keys
        (EXAMPLE[:4] + [["", "vdd", "", "1", "2", "3"], ["", "vss", "", "1", "2"], ["", "io", "", "1", "2", "3"]], ["VDD"]),
        # a blank line among the data rows
        (EXAMPLE[:2] + [["a"], ["b"], ["", "vdd", "x"], "", ["", "io", "x"]], ["VDD"]),
    ],
)
def test_short_lines_raise_index_error_keeping_rows_above(write_sheet, lines, stored):
    parser = Tormund()
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_spec(write_sheet("s.txt", lines), "UltraFLEX")
    assert list(parser.get_info()) == stored
    assert parser.get_spec_version() == "2.1"


def test_few_lines_missing_file_and_space_encoded_path(write_sheet, tmp_path):
    parser = Tormund()
    assert (parser.get_info(), parser.get_spec_version()) == ({}, "")
    read(write_sheet("empty.txt", []), parser=parser)
    assert (parser.get_info(), parser.get_spec_version()) == ({}, "")
    read(write_sheet("head.txt", EXAMPLE[:4]), parser=parser)
    assert (parser.get_info(), parser.get_spec_version()) == ({}, "2.1")
    with pytest.raises(FileNotFoundError):
        parser.read_spec(str(tmp_path / "missing.txt"), "UltraFLEX")
    with pytest.raises(IsADirectoryError):
        parser.read_spec(str(tmp_path), "UltraFLEX")
    write_sheet("AC Specs.txt", EXAMPLE)
    read(str(tmp_path / "AC%20Specs.txt"), parser=parser)
    assert list(parser.get_info()) == ["VDD"]
    # an existing file whose name holds "%20" is read as named
    write_sheet("DC%20Specs.txt", EXAMPLE[:4] + [["", "vee", "", "1", "2", "3"]])
    read(str(tmp_path / "DC%20Specs.txt"), parser=parser)
    assert list(parser.get_info()) == ["VDD", "VEE"]


@pytest.mark.parametrize(
    "line_list, key_list, expected",
    [
        ([], ["a", "b", "c"], {}),  # three keys or fewer read no cell
        (["0", "1", "2", "v", "w", "extra"], ["a", "b", "c", "k", "l"], {"K": "V", "L": "W"}),
        (("0", "1", "2", "ß"), iter(["a", "b", "c", "straße"]), {"STRASSE": "SS"}),
        ({3: "x", 4: "y"}, ("", "", "", "k", "K"), {"K": "Y"}),
    ],
)
def test_get_spec_info(line_list, key_list, expected):
    result = get_spec_info(line_list, key_list)
    assert result == expected and list(result) == list(expected)


def test_get_spec_info_short_row_and_call_wording():
    with pytest.raises(IndexError):
        get_spec_info(["0", "1", "2", "v"], ["a", "b", "c", "k", "l"])
    with pytest.raises(TypeError, match=r"^get_spec_info\(\) missing 1 required positional argument: 'key_list'$"):
        get_spec_info([])
    assert get_spec_info(key_list=["a"], line_list=[]) == {}


@pytest.mark.parametrize(
    "cls, read_name, info_name, path_name",
    [(Sunmere, "read_ac_spec", "get_ac_info", "ac_spec_path"), (Dunmarrow, "read_dc_spec", "get_dc_info", "dc_spec_path")],
)
def test_ac_and_dc_readers_derive_from_tormund(write_sheet, cls, read_name, info_name, path_name):
    parser = cls()
    assert isinstance(parser, Tormund) and cls.__mro__[1] is Tormund
    assert cls.__module__ == "tallowby." + cls.__name__.lower()
    assert getattr(parser, info_name)() == {} and parser.get_spec_version() == ""
    assert getattr(parser, read_name)(**{path_name: write_sheet("s.txt", EXAMPLE), "platform": "UltraFLEX"}) is None
    assert getattr(parser, info_name)() is parser.get_info() is parser._Tormund__spec_dict
    parser.read_spec(write_sheet("t.txt", [J750_VERSION] + EXAMPLE[1:4] + [["", "io", "", "1", "2", "3"]]), "J750")
    assert list(parser.get_info()) == ["VDD", "IO"] and parser.get_spec_version() == "1.5"
    name = cls.__name__
    for call, message in [
        (lambda: getattr(parser, read_name)(None, "UltraFLEX"), "Argument 'spec_path' has incorrect type (expected str, got NoneType)"),
        (lambda: getattr(parser, read_name)(Text("p"), "J750"), "Argument 'spec_path' has incorrect type (expected str, got Text)"),
        (lambda: getattr(parser, read_name)("p", b"UltraFLEX"), "Argument 'platform' has incorrect type (expected str, got bytes)"),
        (lambda: getattr(parser, read_name)("p"), f"{name}.{read_name}() missing 1 required positional argument: 'platform'"),
        (lambda: getattr(parser, read_name)("p", "q", spec_path="p"), f"{name}.{read_name}() got an unexpected keyword argument 'spec_path'"),
        (lambda: getattr(parser, info_name)(1), f"{name}.{info_name}() takes 1 positional argument but 2 were given"),
        (lambda: parser.read_spec("p"), "Tormund.read_spec() missing 1 required positional argument: 'platform'"),
        (lambda: cls(1), f"{name}.__init__() takes 1 positional argument but 2 were given"),
    ]:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message


Text = type("Text", (str,), {})


@pytest.mark.parametrize(
    "args, message",
    [
        ((None, "J750"), "Argument 'spec_path' has incorrect type (expected str, got NoneType)"),
        ((Text("a.txt"), "J750"), "Argument 'spec_path' has incorrect type (expected str, got Text)"),
        ((None, None), "Argument 'spec_path' has incorrect type (expected str, got NoneType)"),
        (("a.txt", Text("J750")), "Argument 'platform' has incorrect type (expected str, got Text)"),
        (("a.txt", None), "Argument 'platform' has incorrect type (expected str, got NoneType)"),
    ],
)
def test_read_spec_takes_exact_texts(args, message):
    with pytest.raises(TypeError) as info:
        Tormund().read_spec(*args)
    assert str(info.value) == message


def test_tormund_call_wording():
    for call, message in [
        (lambda: Tormund(1), "Tormund.__init__() takes 1 positional argument but 2 were given"),
        (lambda: Tormund().get_info(x=1), "Tormund.get_info() got an unexpected keyword argument 'x'"),
        (lambda: Tormund().get_spec_version(1), "Tormund.get_spec_version() takes 1 positional argument but 2 were given"),
        (lambda: Tormund().read_spec("a", "b", "c"), "Tormund.read_spec() takes 3 positional arguments but 4 were given"),
    ]:
        with pytest.raises(TypeError) as info:
            call()
        assert str(info.value) == message
