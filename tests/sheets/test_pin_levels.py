import pathlib
import re

import pytest

from tallowby.ambrel import ParsePinLevel

HEAD = ["h0", "\th1", "h2\t\t"]


def row(pin, parameter, value, tail=True):
    """A pin-level row; with `tail` a further field keeps the line end out of field 4."""
    return ["", pin, "", parameter, value] + (["note"] if tail else [])


def read(path, parser=None):
    parser = parser or ParsePinLevel()
    assert parser.read_pin_level(path) is None
    return parser.get_pin_level_info(), parser.get_pin_clamp_info()


def test_levels_and_clamps_by_parameter(write_sheet):
    rows = HEAD + [
        row("dvdd", "VMAIN", "=1.8"),
        row("io0", "ifoldlevel", "=20*mA"),
        row("avdd", "Vps", "=vdd*1.1 V"),
        row("DVDD", "vps", "=1.9"),  # a later row: new value, first position
        row("io1", " VMAIN", "=3"),  # not upper-cased into a match
        row("io1", "VCL", "=1"),
        row("io1", "IMAX", "=1"),
        row("io0", "IFOLDLEVEL", "=30*mA"),
        row("io2", "IFOLDLEVEL", "5", tail=False),  # the value stops at the line end
    ]
    parser = ParsePinLevel()
    levels, clamps = read(write_sheet("Pin Levels.txt", rows), parser)
    assert list(levels.items()) == [("DVDD", "1.9"), ("AVDD", "VDD*1.1")]
    assert list(clamps.items()) == [("IO0", "30*MA"), ("IO2", "5")]
    assert parser.get_pin_level_info() is levels is parser._ParsePinLevel__pin_level_dict
    assert parser.get_pin_clamp_info() is clamps is parser._ParsePinLevel__pin_clamp_dict
    # a second read adds to the same maps; the path need not be a str
    read(pathlib.Path(write_sheet("more.txt", HEAD + [row("avdd", "VMAIN", "2"), row("x", "VPS", "3")])), parser)
    assert list(levels.items()) == [("DVDD", "1.9"), ("AVDD", "2"), ("X", "3")]


@pytest.mark.parametrize(
    "lines, error, levels",
    [
        # an empty pin name ends the data, even with rows after it
        ([row("a", "VPS", "1"), row("", "VPS", "2"), row("b", "VPS", "3")], None, ["A"]),
        # a blank line: fewer than 2 fields
        ([row("a", "VPS", "1"), "", row("b", "VPS", "3")], IndexError, ["A"]),
        # one tab and the line end: field 1 holds the line end, field 3 is missing
        ([row("a", "VPS", "1"), "\t", row("b", "VPS", "3")], IndexError, ["A"]),
        (["x\tpin\ty"], IndexError, []),
        # field 3 qualifies on a last line without line end, field 4 is missing
        ([row("a", "VPS", "1"), ["", "b", "", "VPS"]], IndexError, ["A"]),
        # a level row with nothing but white space in field 4
        ([row("a", "VPS", "1"), row("b", "VMAIN", " \u3000"), row("c", "VPS", "3")], AttributeError, ["A"]),
        ([row("a", "VPS", "1"), row("b", "IFOLDLEVEL", "")], AttributeError, ["A"]),
    ],
)
def test_end_of_data_and_failures_keep_rows_above(write_sheet, lines, error, levels):
    path = write_sheet("p.txt", HEAD + lines, final_newline=lines[-1] != ["", "b", "", "VPS"])
    parser = ParsePinLevel()
    if error is None:
        parser.read_pin_level(path)
    else:
        with pytest.raises(error) as info:
            parser.read_pin_level(path)
        if error is AttributeError:
            assert str(info.value) == "'NoneType' object has no attribute 'group'"
    assert list(parser.get_pin_level_info()) == levels


@pytest.mark.parametrize(
    "cell, text",
    [
        ("=1.8", "1.8"),
        ("1.8 V", "1.8"),
        ("=", "="),
        ("= 1.8", "="),
        ("==1", "=1"),
        ("=vdd", "VDD"),
        (" =vdd*1.1 V", "VDD*1.1"),
        ("\xa0=straße", "STRASSE"),
        ("", None),
        (" \t", None),
    ],
)
def test_value_text(write_sheet, cell, text):
    path = write_sheet("p.txt", HEAD + [["", "pin", "", "IFOLDLEVEL"] + cell.split("\t") + ["x"]])
    parser = ParsePinLevel()
    if text is None:
        with pytest.raises(AttributeError):
            parser.read_pin_level(path)
        assert parser.get_pin_clamp_info() == {}
    else:
        parser.read_pin_level(path)
        assert parser.get_pin_clamp_info() == {"PIN": text}


AWKWARD = ["\xa0", "\u3000", "\x1c", "\x85", "\x0b", "\u2028", "\u200b", "\ufeff", " "]
CELLS = (
    [ws for ws in AWKWARD]
    + [f"={ws}x" for ws in AWKWARD]
    + [f"{ws}=x{ws}y" for ws in AWKWARD]
    + ["", "=", "==", "x=", "=\u0661", "\u0131=\u017f"]
)


@pytest.mark.parametrize("last", [False, True], ids=["inner", "last"])
@pytest.mark.parametrize("cell", CELLS, ids=ascii)
def test_value_text_agrees_with_host_re(write_sheet, cell, last):
    path = write_sheet("diff.txt", HEAD + [["", "pin", "", "VMAIN", cell] + ([] if last else ["x"])])
    match = re.search(r"=?(\S+)", cell + ("\n" if last else ""))
    parser = ParsePinLevel()
    if match is None:
        with pytest.raises(AttributeError, match="'NoneType' object has no attribute 'group'"):
            parser.read_pin_level(path)
        assert parser.get_pin_level_info() == {}
    else:
        parser.read_pin_level(path)
        assert parser.get_pin_level_info() == {"PIN": match.group(1).upper()}


def test_few_lines_line_ends_and_open_errors(write_sheet, tmp_path):
    assert read(write_sheet("h.txt", HEAD)) == ({}, {})
    for newline in ("\r\n", "\r"):
        assert read(write_sheet("n.txt", HEAD + [row("a", "VPS", "=1", tail=False)], newline=newline)) == ({"A": "1"}, {})
    parser = ParsePinLevel()
    for path, error in [(tmp_path / "missing.txt", FileNotFoundError), (tmp_path, IsADirectoryError)]:
        with pytest.raises(error):
            parser.read_pin_level(str(path))
    write_sheet("Pin Levels.txt", HEAD + [row("a", "VPS", "1")])
    with pytest.raises(FileNotFoundError):
        parser.read_pin_level(str(tmp_path / "Pin%20Levels.txt"))
    assert parser.get_pin_level_info() == {} and parser.get_pin_clamp_info() == {}


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.read_pin_level(), "ParsePinLevel.read_pin_level() missing 1 required positional argument: 'pin_level_path'"),
        (lambda p: p.read_pin_level("a", "b"), "ParsePinLevel.read_pin_level() takes 2 positional arguments but 3 were given"),
        (lambda p: p.read_pin_level(path="a"), "ParsePinLevel.read_pin_level() got an unexpected keyword argument 'path'"),
        (lambda p: p.get_pin_level_info(1), "ParsePinLevel.get_pin_level_info() takes 1 positional argument but 2 were given"),
        (lambda p: p.get_pin_clamp_info(1), "ParsePinLevel.get_pin_clamp_info() takes 1 positional argument but 2 were given"),
        (lambda p: ParsePinLevel(x=1), "ParsePinLevel.__init__() got an unexpected keyword argument 'x'"),
    ],
)
def test_call_wording(call, message):
    with pytest.raises(TypeError) as info:
        call(ParsePinLevel())
    assert str(info.value) == message
