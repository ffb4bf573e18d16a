import os

import pytest

from tallowby.garvel import Garvel, get_flow_content

UFX = "UltraFLEX"
KEYS = ["Opcode", "Parameter", "TestNumber", "HardBin", "SortBin", "Result"]


def row(opcode, param="", number="", hard="", sort="", result="", flag="", width=21, ultraflex=True):
    """One flow row: opcode in field 6, bins where the platform's layout has them."""
    fields = [""] * max(width, 20)
    fields[5], fields[6], fields[7], fields[9] = flag, opcode, param, number
    hb, sb, rs = (16, 18, 19) if ultraflex else (11, 13, 14)
    fields[hb], fields[sb], fields[rs] = hard, sort, result
    return fields[:width]


END = [""] * 21


def read(path, platform=UFX):
    parser = Garvel()
    assert parser.read_flow_table(path, platform) is None
    return parser.get_test_suite_info()


def summary(records):
    return [(r["Parameter"], r["TestNumber"], r["HardBin"], r["SortBin"]) for r in records]


@pytest.mark.parametrize(
    "args, message",
    [
        ((None, UFX), "Argument 'flow_path' has incorrect type (expected str, got NoneType)"),
        ((type("SheetPath", (str,), {})("a.txt"), UFX), "Argument 'flow_path' has incorrect type (expected str, got SheetPath)"),
        (("a.txt", None), "Argument 'platform' has incorrect type (expected str, got NoneType)"),
        (("a.txt", type("Platform", (str,), {})(UFX)), "Argument 'platform' has incorrect type (expected str, got Platform)"),
        ((b"a.txt", UFX), "Argument 'flow_path' has incorrect type (expected str, got bytes)"),
    ],
)
def test_arguments_are_exact_texts(args, message):
    with pytest.raises(TypeError) as info:
        Garvel().read_flow_table(*args)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Garvel().read_flow_table("a.txt"), "Garvel.read_flow_table() missing 1 required positional argument: 'platform'"),
        (lambda: Garvel().read_flow_table("a", UFX, 1), "Garvel.read_flow_table() takes 3 positional arguments but 4 were given"),
        (lambda: Garvel().read_flow_table(path="a", platform=UFX), "Garvel.read_flow_table() got an unexpected keyword argument 'path'"),
        (lambda: Garvel(1), "Garvel.__init__() takes 1 positional argument but 2 were given"),
        (lambda: get_flow_content([]), "get_flow_content() missing 1 required positional argument: 'platform'"),
    ],
)
def test_call_wording(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_keyword_arguments(write_sheet, headers):
    parser = Garvel()
    parser.read_flow_table(platform=UFX, flow_path=write_sheet("flow.txt", headers(4) + [row("Test", "a", "1", "1", "1")]))
    assert get_flow_content(platform=UFX, line_list=row("Test", "a"))["Parameter"] == "A"
    assert len(parser.get_test_suite_info()) == 1


@pytest.mark.parametrize(
    "platform, fields",
    [("UltraFLEX", (16, 18, 19)), ("UltraFLEXplus", (16, 18, 19)), ("J750", (11, 13, 14)), ("ultraflex", (11, 13, 14))],
)
def test_record_fields_by_platform(write_sheet, headers, platform, fields):
    line = [f"f{i}" for i in range(21)]
    line[5], line[6], line[7] = "", "Test", "straße_ǆ"
    records = read(write_sheet("flow.txt", headers(4) + [line, END]), platform)
    hb, sb, rs = fields
    assert [list(r.items()) for r in records] == [
        [
            ("Opcode", "Test"),
            ("Parameter", "STRASSE_Ǆ"),
            ("TestNumber", "f9"),
            ("HardBin", f"f{hb}"),
            ("SortBin", f"f{sb}"),
            ("Result", f"f{rs}"),
        ]
    ]


@pytest.mark.parametrize(
    "line_list, platform, expected",
    [
        (["0", "1", "2", "3", "4", "", "Test", "p\n"], UFX, ["Test", "P\n", "", "", "", ""]),
        (row("nop", "x", "7", "1", "2", "r", width=20), UFX, ["nop", "X", "7", "1", "2", "r"]),
        (row("Test", "x", "7", "1", "2", "r", width=15, ultraflex=False), "J750", ["Test", "X", "7", "1", "2", "r"]),
        # the platform is tested with `in`, whatever it is
        (row("Test", "x", "7", "1", "2", "r", width=20), ["UltraFLEX"], ["Test", "X", "7", "1", "2", "r"]),
        (tuple(row("Test", "x", "7", "1", "2", "r", width=20)), "UltraFLEXplus", ["Test", "X", "7", "1", "2", "r"]),
    ],
)
def test_get_flow_content(line_list, platform, expected):
    record = get_flow_content(line_list, platform)
    assert list(record) == KEYS and list(record.values()) == expected
    assert get_flow_content(line_list, platform) is not record


@pytest.mark.parametrize(
    "line_list, platform, error, printed",
    [
        (row("Test", "x", width=19), UFX, IndexError, ""),
        (row("Test", "x", width=7), UFX, IndexError, ""),
        (row("Test", "x", width=14, ultraflex=False), "J750", IndexError, "list index out of range\n"),
        (["0", "1", "2", "3", "4", "", "Test", 7], "J750", AttributeError, "'int' object has no attribute 'upper'\n"),
        (["0", "1", "2", "3", "4", "", "Test", 7], UFX, AttributeError, ""),
        (row("Test", "x"), 5, TypeError, ""),
    ],
)
def test_get_flow_content_failures(line_list, platform, error, printed, capsys):
    with pytest.raises(error):
        get_flow_content(line_list, platform)
    assert capsys.readouterr().out == printed


@pytest.mark.parametrize("newline", ["\n", "\r\n", "\r"])
def test_line_ends_give_identical_results(write_sheet, headers, newline, capsys):
    rows = headers(4) + [
        row("Test", "a", "1", "1", "1"),
        row("Test", "b", "2", "", ""),
        row("Use-Limit", "", "20", "3", "4"),
        row("nop", "d", width=8),
        row("Test", "c", "3"),
        END,
    ]
    records = read(write_sheet("flow.txt", rows, newline=newline, final_newline=False))
    assert summary(records) == [("A", "1", "1", "1"), ("B", "20", "3", "4"), ("D\n", "", "", ""), ("C", "3", "", "")]
    out = capsys.readouterr().out
    assert out == "".join(
        "No SortBin test found: " + "\t".join(r) + "\n\n" for r in (row("nop", "d", width=8), row("Test", "c", "3"))
    )


def test_rows_taken_and_ignored(write_sheet, headers):
    rows = headers(4) + [
        row("Test", "t1", "1", "1", "1"),
        row("Test-defer-limits", "t2", "2", "1", "1"),
        row("nop", "t3", "3", "1", "1"),
        row("Test-defer-all", "t4", "4", "1", "1"),
        row("test", "lower", "5", "1", "1"),  # opcodes compare with their letter case
        row("Test", "flagged", "6", "1", "1", flag="x"),  # field 5 set: ignored
        row("Test", "", "7", "1", "1"),  # no test suite
        row("call", "missing_sheet", flag="x"),  # flagged call: not followed
        row("Use-Limit", "", "8", "1", "1"),
        row("Goto", "t9", "9", "1", "1"),
        ["short"] * 7,  # other opcode: fields past 6 never read
        END,
        row("Test", "after_end", "10", "1", "1"),
    ]
    records = read(write_sheet("flow.txt", rows))
    assert [r["Parameter"] for r in records] == ["T1", "T2", "T3", "T4"]


@pytest.mark.parametrize(
    "test_bins, below, expected, message",
    [
        (("", "5"), row("Use-Limit", "", "99", "3", "4"), ("99", "3", "4"), False),
        (("5", ""), row("Use-Limit", "", "", "3", "4"), ("", "3", "4"), False),
        (("", ""), row("Use-Limit", "", "99", "3", ""), ("1", "", ""), True),
        (("", ""), row("use-limit", "", "99", "3", "4"), ("1", "", ""), True),
        (("", ""), row("Test", "next", "2", "3", "4"), ("1", "", ""), True),
        (("", ""), ["x"] * 8, ("1", "", ""), True),  # a short row below: its bins are ""
        (("5", "6"), row("Use-Limit", "", "99", "3", "4"), ("1", "5", "6"), False),
    ],
)
def test_use_limit_fills_missing_bins(write_sheet, headers, capsys, test_bins, below, expected, message):
    test_row = row("Test", "t", "1", *test_bins)
    records = read(write_sheet("flow.txt", headers(4) + [test_row, below, END]))
    assert summary(records)[0] == ("T",) + expected
    out = capsys.readouterr().out
    assert out == ("No SortBin test found: " + "\t".join(test_row) + "\n\n" if message else "")


def test_sub_flows_expand_depth_first(write_sheet, headers, tmp_path):
    write_sheet("Flow Main.txt", headers(4) + [
        row("Test", "m1", "1", "1", "1"),
        row("call", "Sub%20One"),
        row("Test", "m2", "2", "1", "1"),
        row("call", "Sub One"),
        END,
    ])
    write_sheet("Sub One.txt", headers(4) + [
        row("Test", "s1", "10", "1", "1"),
        row("call", "Leaf"),
        row("Test", "s2", "", "", ""),
        row("Use-Limit", "", "12", "7", "8"),
        END,
        row("Test", "after_sub_end", "", "1", "1"),
    ])
    write_sheet("Leaf.txt", headers(4) + [row("Test", "leaf", "20", "1", "1")])
    parser = Garvel()
    parser.read_flow_table(str(tmp_path / "Flow%20Main.txt"), UFX)
    expanded = ["M1", "S1", "LEAF", "S2", "M2", "S1", "LEAF", "S2"]
    assert [r["Parameter"] for r in parser.get_test_suite_info()] == expanded
    assert parser.get_test_suite_info()[3]["SortBin"] == "8"
    # a second sheet read with the same object is appended
    parser.read_flow_table(str(tmp_path / "Leaf.txt"), UFX)
    assert [r["Parameter"] for r in parser.get_test_suite_info()] == expanded + ["LEAF"]


def test_records_are_the_parsers_own(write_sheet, headers):
    parser = Garvel()
    assert parser.get_test_suite_info() == []
    parser.read_flow_table(write_sheet("flow.txt", headers(4) + [row("Test", "a", "1", "1", "1")]), UFX)
    records = parser.get_test_suite_info()
    records[0]["write_row_start"] = 5
    assert parser.get_test_suite_info() is records is parser._Garvel__test_suite_list
    assert parser.get_test_suite_info()[0]["write_row_start"] == 5


def test_call_from_a_bare_file_name_reads_beside_it(write_sheet, headers, tmp_path, monkeypatch):
    write_sheet("Main.txt", headers(4) + [row("call", "Sub")])
    write_sheet("Sub.txt", headers(4) + [row("Test", "s", "1", "1", "1")])
    monkeypatch.chdir(tmp_path)
    assert [r["Parameter"] for r in read("Main.txt")] == ["S"]


@pytest.mark.parametrize(
    "sheets, message",
    [
        ({"A": ["call:B"], "B": ["test:b", "call:A"]}, "flow table calls itself: A.txt -> B.txt -> A.txt"),
        ({"A": ["test:a", "call:A"]}, "flow table calls itself: A.txt -> A.txt"),
        # another spelling of the same sheet, and a path that grows on each call
        ({"A": ["call:./A"]}, "flow table calls itself: A.txt -> A.txt"),
        ({"A": ["call:d/../A"]}, "flow table calls itself: A.txt -> A.txt"),
    ],
)
def test_a_flow_that_calls_itself_fails_in_order(write_sheet, headers, tmp_path, sheets, message):
    (tmp_path / "d").mkdir()
    for name, steps in sheets.items():
        lines = [row("Test" if kind == "test" else "call", arg, "1", "1", "1") for kind, arg in (s.split(":") for s in steps)]
        write_sheet(name + ".txt", headers(4) + lines)
    parser = Garvel()
    with pytest.raises(RecursionError) as info:
        parser.read_flow_table(str(tmp_path / "A.txt"), UFX)
    assert str(info.value) == message
    assert len(parser.get_test_suite_info()) == sum(s.startswith("test") for steps in sheets.values() for s in steps)


@pytest.mark.parametrize(
    "lines, platform, printed",
    [
        (["", END], UFX, ""),  # blank line before the end of data
        ([["0"] * 5 + ["", "Test"]], UFX, ""),  # test opcode without field 7 (last line, no line end)
        ([["0"] * 5 + ["", "call"]], UFX, ""),
        ([row("Test", "t", width=12)], UFX, ""),  # UltraFLEX rows of 9+ fields need 20
        ([row("Test", "t", width=12, ultraflex=False)], "J750", "list index out of range\n"),
        ([row("Test", "t", "1", "", "1")], UFX, ""),  # look-ahead past the last line
        ([row("Test", "t", "1", "", "1"), row("Use-Limit", width=12)], UFX, ""),
        ([row("Test", "t", "1", "", "1", ultraflex=False), ["x"] * 7], "J750", "list index out of range\n"),
    ],
)
def test_short_rows_fail_and_keep_earlier_records(write_sheet, headers, capsys, lines, platform, printed):
    first = row("Test", "kept", "1", "1", "1", ultraflex=platform == UFX)
    parser = Garvel()
    with pytest.raises(IndexError, match="^list index out of range$"):
        parser.read_flow_table(write_sheet("flow.txt", headers(4) + [first] + lines, final_newline=False), platform)
    assert [r["Parameter"] for r in parser.get_test_suite_info()] == ["KEPT"]
    assert capsys.readouterr().out == printed


def test_missing_sheets_and_short_files(write_sheet, headers, tmp_path):
    parser = Garvel()
    parser.read_flow_table(write_sheet("short.txt", headers(4)), UFX)
    assert parser.get_test_suite_info() == []
    with pytest.raises(FileNotFoundError):
        parser.read_flow_table(str(tmp_path / "none.txt"), UFX)
    with pytest.raises(IsADirectoryError):
        parser.read_flow_table(str(tmp_path), UFX)
    main = write_sheet("main.txt", headers(4) + [row("Test", "a", "1", "1", "1"), row("call", "gone"), row("Test", "b")])
    with pytest.raises(FileNotFoundError):
        parser.read_flow_table(main, UFX)
    assert [r["Parameter"] for r in parser.get_test_suite_info()] == ["A"]
    assert not os.path.exists(tmp_path / "gone.txt")


@pytest.mark.parametrize(
    "leaf, message",
    [
        ([row("Test", "t", "1", "1", "1")], "flow table F0.txt expands to more than 1048576 rows, more than a job sheet holds"),
        ([], "flow table F0.txt calls more than 1048576 sub-flows"),
    ],
)
def test_sub_flows_that_fan_out_fail_before_any_row_is_kept(write_sheet, headers, tmp_path, leaf, message):
    # each level calls the next twice: 2**21 leaves
    levels = 21
    for i in range(levels):
        write_sheet(f"F{i}.txt", headers(4) + [row("call", f"F{i + 1}"), row("call", f"F{i + 1}")])
    write_sheet(f"F{levels}.txt", headers(4) + leaf)
    parser = Garvel()
    with pytest.raises(ValueError) as info:
        parser.read_flow_table(str(tmp_path / "F0.txt"), UFX)
    assert str(info.value) == message
    assert parser.get_test_suite_info() == []
    # a flow within the bound expands as always
    assert len(read(str(tmp_path / f"F{levels - 10}.txt"))) == (2**10 if leaf else 0)
