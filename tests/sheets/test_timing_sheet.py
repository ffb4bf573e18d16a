import pytest

from tallowby.valcour import ParseTIM

UFX_HEAD = [f"h{i}\ta\tb" for i in range(7)]
J750_HEAD = UFX_HEAD[:6]


def ufx(tset, period, clock="", text="", kind="", width=7):
    return ["", tset, period, clock, text, kind, ""][:width] + [""] * max(0, width - 7)


def j750(tset, period, name="", kind="", width=7):
    return ["", tset, period, "", name, kind, ""][:width]


def read(path, platform, parser=None):
    parser = parser or ParseTIM()
    assert parser.read_timing(path, platform) is None
    return parser.get_timing_info(), parser.get_clk_info()


def test_ultraflex_periods_and_clock_rows(write_sheet):
    rows = UFX_HEAD + [
        ufx("ts1", "=10*ns", "CLK0", "=tper/2", "clock"),
        ufx("TS1", "=20*ns", "Clk1", "=a=b", "clock"),
        ufx("ts2", "=a=b", "DATA", "=x", "edge"),
        ufx("ts1", "", "CLK0", "late", "clock"),
        ufx("ts3", "=p", "c", "v", "Clock"),
        ufx("ts3", "=p", "c", "v", "CLOCK"),
        ufx("ts3", "=p", "c", "v", "clock "),
        ["", "ts4", "=q", "c", "v", "clock"],  # "clock" keeps the line end: not a clock row
    ]
    parser = ParseTIM()
    periods, clocks = read(write_sheet("Time Sets.txt", rows), "UltraFLEX", parser)
    assert list(periods.items()) == [("TS1", "10*NS"), ("TS2", "AB"), ("TS3", "P"), ("TS4", "Q")]
    assert list(clocks.items()) == [("TS1", {"CLK0": "LATE", "Clk1": "AB"}), ("TS2", {}), ("TS3", {}), ("TS4", {})]
    assert list(clocks["TS1"]) == ["CLK0", "Clk1"]
    assert parser.get_timing_info() is periods is parser._ParseTIM__timing_period
    assert parser.get_clk_info() is clocks is parser._ParseTIM__clk_dic


def test_j750_periods_and_mcg_rows(write_sheet):
    rows = J750_HEAD + [
        j750("ts1", "=per_a", "2", "mcg"),
        j750("TS1", "=per_b", "xClk", "mcg"),  # the row's own period, not the stored one
        j750("ts1", "=per_c", "2", "mcg"),
        j750("ts2", "=b", "4", "MCG"),
        j750("ts2", "=b", "4", "clock"),
    ]
    periods, clocks = read(write_sheet("tim.txt", rows), "J750")
    assert list(periods.items()) == [("TS1", "PER_A"), ("TS2", "B")]
    assert list(clocks.items()) == [("TS1", {"2": "PER_C/2", "xClk": "PER_B/xClk"}), ("TS2", {})]


def test_second_read_merges_into_the_same_maps(write_sheet):
    parser = ParseTIM()
    periods, clocks = read(write_sheet("a.txt", UFX_HEAD + [ufx("ts1", "1", "c0", "x", "clock")]), "UltraFLEXplus", parser)
    read(write_sheet("b.txt", UFX_HEAD + [ufx("ts1", "2", "c1", "y", "clock"), ufx("ts9", "9")]), "UltraFLEX", parser)
    assert list(periods.items()) == [("TS1", "1"), ("TS9", "9")]
    assert clocks == {"TS1": {"c0": "X", "c1": "Y"}, "TS9": {}}


@pytest.mark.parametrize(
    "platform, lines, periods",
    [
        # a bare line end ends the read anywhere, header lines included
        ("UltraFLEX", UFX_HEAD[:3] + [""] + UFX_HEAD[4:] + [ufx("a", "1")], []),
        # a header of tabs only does not end it; a tabs-and-blanks line from index 7 on does
        ("UltraFLEX", UFX_HEAD[:6] + ["\t\t \t"] + [ufx("a", "1"), "\t \t\t", ufx("b", "2")], ["A"]),
        ("UltraFLEX", UFX_HEAD + [ufx("a", "1"), "", ufx("b", "2")], ["A"]),
        ("UltraFLEX", UFX_HEAD + [ufx("a", "1"), "\u3000\x1c", ufx("b", "2")], ["A"]),
        # J750: index 6 of tabs only is a data row with the empty time set
        ("J750", J750_HEAD + ["\t\t\t\t\t", j750("a", "1"), " \t", j750("b", "2")], ["", "A"]),
        ("J750", J750_HEAD + ["", j750("a", "1")], []),
        # neither platform: no line is a data row, nothing fails
        ("Catalyst", UFX_HEAD + [ufx("a", "1"), ["x"]], []),
        # both names: the UltraFLEX layout (index 6 is still a header)
        ("J750 UltraFLEX", J750_HEAD + [j750("h", "0"), ufx("a", "1", "c", "v", "clock")], ["A"]),
    ],
)
def test_stop_rules_and_platform_selection(write_sheet, platform, lines, periods):
    result, clocks = read(write_sheet("t.txt", lines), platform)
    assert list(result) == periods and list(clocks) == periods


@pytest.mark.parametrize(
    "platform, head, short, periods, clocks",
    [
        # field 5 missing: the time set is entered in both maps before the failure
        ("UltraFLEX", UFX_HEAD, ["", "ts2", "=p", "c", "v"], {"TS1": "1", "TS2": "P"}, {"TS1": {}, "TS2": {}}),
        ("J750", J750_HEAD, ["", "ts2", "=p", "", "4"], {"TS1": "1", "TS2": "P"}, {"TS1": {}, "TS2": {}}),
        # field 2 missing: only the clock map has the time set (field 1 keeps the line end)
        ("UltraFLEX", UFX_HEAD, ["", "ts2"], {"TS1": "1"}, {"TS1": {}, "TS2\n": {}}),
        # field 1 missing: nothing of the row
        ("J750", J750_HEAD, ["x"], {"TS1": "1"}, {"TS1": {}}),
    ],
)
def test_short_row_raises_index_error_after_what_it_stored(write_sheet, platform, head, short, periods, clocks):
    rows = head + [["", "ts1", "1", "", "", "", ""], short, ["", "ts3", "3", "", "", "", ""]]
    parser = ParseTIM()
    with pytest.raises(IndexError, match="list index out of range"):
        parser.read_timing(write_sheet("t.txt", rows), platform)
    assert list(parser.get_timing_info().items()) == list(periods.items())
    assert list(parser.get_clk_info().items()) == list(clocks.items())


def test_line_ends_and_open_errors(write_sheet, tmp_path):
    rows = UFX_HEAD + [ufx("ts1", "=1", "c", "=v", "clock")]
    for newline in ("\r\n", "\r"):
        assert read(write_sheet("t.txt", rows, newline=newline), "UltraFLEX") == ({"TS1": "1"}, {"TS1": {"c": "V"}})
    parser = ParseTIM()
    for path, error in [(tmp_path / "missing.txt", FileNotFoundError), (tmp_path, IsADirectoryError)]:
        with pytest.raises(error):
            parser.read_timing(str(path), "UltraFLEX")
    assert parser.get_timing_info() == {} and parser.get_clk_info() == {}
    # no space-encoded retry for time-set sheets
    write_sheet("Time Sets.txt", rows)
    with pytest.raises(FileNotFoundError):
        parser.read_timing(str(tmp_path / "Time%20Sets.txt"), "UltraFLEX")


Text = type("Text", (str,), {})


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.read_timing(None, None), "Argument 'timing_path' has incorrect type (expected str, got NoneType)"),
        (lambda p: p.read_timing(Text("t"), "J750"), "Argument 'timing_path' has incorrect type (expected str, got Text)"),
        (lambda p: p.read_timing("t", Text("J750")), "Argument 'platform' has incorrect type (expected str, got Text)"),
        (lambda p: p.read_timing("t", None), "Argument 'platform' has incorrect type (expected str, got NoneType)"),
        (lambda p: p.read_timing("t"), "ParseTIM.read_timing() missing 1 required positional argument: 'platform'"),
        (lambda p: p.get_clk_info(1), "ParseTIM.get_clk_info() takes 1 positional argument but 2 were given"),
        (lambda p: p.get_timing_info(x=1), "ParseTIM.get_timing_info() got an unexpected keyword argument 'x'"),
        (lambda p: ParseTIM(1), "ParseTIM.__init__() takes 1 positional argument but 2 were given"),
    ],
)
def test_argument_errors(call, message):
    with pytest.raises(TypeError) as info:
        call(ParseTIM())
    assert str(info.value) == message
