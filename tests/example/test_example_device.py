"""The example device through the engine, as examples/check_device.py runs it,
with the check workbook read back: every column and summary sheet filled."""
import filecmp
import importlib.util
import pathlib

import openpyxl
import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
JOBS = ["CP1", "FT_ROOM", "FT_HOT"]
RED, YELLOW, ORANGE = "FFFFC7CE", "FFF7D674", "FFFFAA33"


def _load(name):
    spec = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Run:
    def __init__(self, out, cycle_mode, vbt):
        self.result = _load("check_device").check(out, cycle_mode=cycle_mode, vbt=vbt)
        self.book = openpyxl.load_workbook(self.result.check_workbook)

    def rows(self, sheet):
        """The sheet's rows as lists of values, trailing empty cells dropped."""
        rows = []
        for row in self.book[sheet].iter_rows(values_only=True):
            row = list(row)
            while row and row[-1] is None:
                row.pop()
            rows.append(row)
        return rows

    def table(self, sheet):
        """Rows below the header as maps from header text to value."""
        header, *rows = self.rows(sheet)
        return [{h: (r[k] if k < len(r) else None) for k, h in enumerate(header) if h is not None} for r in rows]

    def fill(self, sheet, row, col):
        return self.book[sheet].cell(row + 1, col + 1).fill.fgColor.rgb


@pytest.fixture(scope="module")
def period(tmp_path_factory):
    return Run(tmp_path_factory.mktemp("period"), "Period", vbt=True)


@pytest.fixture(scope="module")
def frequency(tmp_path_factory):
    return Run(tmp_path_factory.mktemp("frequency"), "Frequency", vbt=False)


def test_committed_device_is_what_the_generator_writes(tmp_path):
    fresh = _load("make_device").write(tmp_path / "device")
    committed = EXAMPLES / "device"
    generated = sorted(p.relative_to(fresh) for p in fresh.rglob("*") if p.is_file())
    stored = sorted(p.relative_to(committed) for p in committed.rglob("*") if p.is_file() and p.suffix != ".bas")
    assert stored == generated
    assert [p for p in generated if not filecmp.cmp(fresh / p, committed / p, shallow=False)] == []


@pytest.mark.parametrize("mode", ["period", "frequency"])
def test_every_job_runs_to_the_end(mode, request):
    run = request.getfixturevalue(mode)
    log = run.result.log
    assert run.result.jobs == JOBS
    assert "An exception occurred!Please check!!!" not in log
    assert "Execution successful!!!" in log
    assert not [line for line in log if line.startswith("Error")]
    assert run.result.progress[-1] == 100
    assert run.book.sheetnames == JOBS + ["PatTsetMap_FT_HOT", "SortBinDescrp", "InstParametersCheck",
                                          "PowerPinClampCheck"]
    # the flow row without a test instance is reported by both passes, once per job that runs it
    missing = "Info: cannot found SCAN_CHAIN_INTEGRITY in Test Instance, please check."
    assert log.count(missing) == 2 * len(JOBS)
    # the power order file lists a supply this die does not have
    assert "Power pin name is: VDD_ANA" in log
    # the jobs after CP1 reuse its global and AC spec sheets; FT_HOT has its own DC sheet
    # the pattern tool answered into the scratch copy of the pattern folder, not into the device
    assert not list((EXAMPLES / "device").rglob("pattern_tset.txt"))
    cache = run.result.engine.last_flow_info
    assert cache.ac_spec_name.endswith("/AC Specs.txt")
    assert cache.glob_spec_name.endswith("/Global Specs.txt")
    assert cache.dc_spec_name.endswith("/DC Specs Hot.txt")


@pytest.mark.parametrize("mode", ["period", "frequency"])
def test_every_column_holds_values(mode, request):
    run = request.getfixturevalue(mode)
    for sheet in run.book.sheetnames:
        if sheet == "SortBinDescrp":  # no header row
            assert run.rows(sheet)
            continue
        header, *rows = run.rows(sheet)
        empty = [h for k, h in enumerate(header)
                 if h not in (None, "Comment") and not any(k < len(r) and r[k] not in (None, "") for r in rows)]
        assert rows and empty == [], (sheet, empty)


def test_vbt_check_writes_the_dry_run_workbook(period):
    path = period.result.dry_run_workbook
    assert path and pathlib.Path(path).parent == pathlib.Path(period.result.check_workbook).parent
    book = openpyxl.load_workbook(path)
    assert book.sheetnames == ["Global Variables", "Module Variables", "Local Variables", "Type Definitions",
                               "Enum Definitions", "Function Parameters", "Summary", "Manual Check Required"]
    for sheet in book.sheetnames:
        assert book[sheet].max_row > 1, sheet  # a header and at least one finding on every sheet
    summary = [row for row in book["Summary"].iter_rows(values_only=True)]
    counts = [[v for v in row if isinstance(v, int)] for row in summary[1:]]
    assert len(counts) >= 5 and all(counts), summary
    manual = "\n".join(str(v) for row in book["Manual Check Required"].iter_rows(values_only=True) for v in row)
    assert "g_SiteData_var" in manual and "MeasureCount" in manual


# FT_ROOM: the main flow, its two sub-flows with the Use-Limit bins, a test
# instance of two rows, the missing instance (no rows) and the nop row.
FT_ROOM_FLOW = [
    ("Test", "CONTINUITY", "2000", "2", "10", "Fail"),
    ("Test", "IDD_STATIC", "3000", "4", "20", "Fail"),
    ("Test", "IDD_STANDBY", "3010", "4", "20", None),
    ("Test", "FUNC_MAIN", "2300", "5", "30", "Fail"),
    ("Test", "FUNC_ATSPEED", "2320", "5", "32", None),
    ("Test", "FUNC_VMIN_VMAX", "2310", "5", "31", "Fail"),
    ("Test", "FUNC_VMIN_VMAX", "2310", "5", "31", "Fail"),
    ("Test", "SCAN_STUCK", "2400", "6", "40", "Fail"),
    ("Test", "SCAN_ATSPEED", "2410", "6", "42", "Fail"),
    ("nop", "FUNC_DEBUG", "2900", "9", "90", "None"),
]
FLOW_HEADER = ["Opcode", "Parameter", "TestNumber", "HardBinNumber", "SortBinNumber", "Result"]


def test_flow_columns(period):
    rows = period.rows("FT_ROOM")
    assert rows[0][:6] == FLOW_HEADER
    assert [tuple((r + [None] * 6)[:6]) for r in rows[1:]] == FT_ROOM_FLOW
    for r, flow in enumerate(FT_ROOM_FLOW, start=1):
        result_fill = period.fill("FT_ROOM", r, 5)
        assert (result_fill == YELLOW) == (flow[5] in (None, "None")), flow
    nop = len(FT_ROOM_FLOW)
    assert period.book["FT_ROOM"].row_dimensions[nop + 1].fill.fgColor.rgb == RED
    # CP1's flow: the row of another environment and the set-device row are not test rows
    cp1 = [r[1] for r in period.rows("CP1")[1:]]
    assert "LEAKAGE_HOT" not in cp1 and cp1[:2] == ["CONTINUITY", "LEAKAGE"]


# Power columns, by the power order file's aliases: (instance row of FT_ROOM,
# levels of VDDIO, VDD_CORE, VDD_PLL). Continuity runs unpowered; standby turns
# the PLL supply off; scan's level sheet has no PLL supply.
FT_ROOM_LEVELS = [
    (1, "0.0", "0.0", "0.0"),
    (2, "1.8", "0.9", "0.9"),
    (3, "1.8", "0.9", "0.0"),
    (6, "1.71", "0.81", "0.9"),
    (7, "1.89", "0.99", "0.9"),
    (8, "1.8", "0.9", None),
]


def test_power_columns(period):
    rows = period.rows("FT_ROOM")
    assert rows[0][6:9] == ["VIO_1V8", "VCORE_0V9", "VDD_PLL"]
    for row, *levels in FT_ROOM_LEVELS:
        assert (rows[row] + [None] * 9)[6:9] == levels, rows[row]
        for col, level in enumerate(levels, start=6):
            assert (period.fill("FT_ROOM", row, col) == ORANGE) == (level == "0.0")
    # CP1 runs leakage at the raised core level of its DC sheet
    leakage = period.rows("CP1")[2]
    assert leakage[1] == "LEAKAGE" and leakage[6:9] == ["1.8", "0.99", "0.9"]


def pattern_cells(run, sheet, row):
    """{triple index: (pattern, period or frequency, clocks)} of one instance row."""
    header, cells = run.rows(sheet)[0], run.rows(sheet)[row]
    triples = {}
    for col, name in enumerate(header):
        if name and name.startswith("PatternName_") and col < len(cells) and cells[col] is not None:
            triples[int(name.split("_")[1])] = tuple(cells[col:col + 3])
    return triples


FUNC = "CLK_SYS:5.000n;CLK_REF:20.000n;"


def test_pattern_period_and_clock_columns(period):
    header = period.rows("FT_ROOM")[0]
    # after the three power columns: one triple per pattern, three for the largest set
    assert header[9:18] == ["PatternName_0", "Period_0", "Clock_0", "PatternName_1", "Period_1", "Clock_1",
                            "PatternName_2", "Period_2", "Clock_2"]
    assert pattern_cells(period, "FT_ROOM", 4) == {  # FUNC_MAIN: a set inside a set, then a pattern
        0: (r".\patterns\func\func_alu.pat", "10.000n", FUNC),
        1: (r".\patterns\func\func_regfile.pat", "10.000n", FUNC),
        2: (r".\patterns\func\func_mem_march.pat", "10.000n,1.000u", FUNC + ",CLK_REF:500.000n;"),
    }
    assert pattern_cells(period, "FT_ROOM", 5) == {  # FUNC_ATSPEED: the fast category halves the period
        0: (r".\patterns\func\func_alu_fast.pat", "5.000n", "CLK_SYS:2.500n;"),
        1: (r".\patterns\func\func_mem_fast.pat", "5.000n,5.000n", "CLK_SYS:2.500n;,CLK_SYS:2.500n;CLK_REF:10.000n;"),
    }
    assert pattern_cells(period, "FT_ROOM", 9) == {  # SCAN_ATSPEED: a pattern file named in the arguments
        0: (r".\patterns\scan\scan_transition.pat", "50.000n,10.000n,10.000n",
            "SCAN_CLK:25.000n;,SCAN_CLK:5.000n;CLK_SYS:5.000n;,CLK_SYS:5.000n;"),
    }
    assert pattern_cells(period, "FT_ROOM", 1) == {}  # continuity runs no pattern


def test_frequency_mode_columns(frequency):
    header = frequency.rows("FT_ROOM")[0]
    assert header[9:12] == ["PatternName_0", "Freq_0", "Clock_0"]
    assert pattern_cells(frequency, "FT_ROOM", 4)[2] == (
        r".\patterns\func\func_mem_march.pat", "100.000M,1.000M",
        "CLK_SYS:200.000M;CLK_REF:50.000M;,CLK_REF:2.000M;")
    assert frequency.rows("PatTsetMap_FT_HOT")[0][:4] == ["Instances", "Pattern", "Tset_0", "Frequency_0"]


def test_instance_rows_of_one_test_are_grouped(period):
    dims = period.book["FT_ROOM"].row_dimensions
    first, second = dims[7], dims[8]  # FUNC_VMIN_VMAX on sheet rows 6 and 7
    assert first.collapsed and first.outlineLevel == 0
    assert second.hidden and second.outlineLevel == 1
    assert not dims[2].hidden and dims[2].outlineLevel == 0


# Patterns in the order the jobs first ran them, each with its time sets.
PATTERN_TSETS = [
    (r".\patterns\dc\leak_hiz.pat", ["TS_SLOW"]),
    (r".\patterns\dc\idd_static.pat", ["TS_SLOW", "TS_FUNC"]),
    (r".\patterns\func\func_alu.pat", ["TS_FUNC"]),
    (r".\patterns\func\func_regfile.pat", ["TS_FUNC"]),
    (r".\patterns\func\func_mem_march.pat", ["TS_FUNC", "TS_SLOW"]),
    (r".\patterns\scan\scan_stuck_chain.pat", ["TS_SCAN_SHIFT"]),
    (r".\patterns\scan\scan_stuck_capture.pat", ["TS_SCAN_SHIFT", "TS_SCAN_CAP"]),
    (r".\patterns\func\func_alu_fast.pat", ["TS_FAST"]),
    (r".\patterns\func\func_mem_fast.pat", ["TS_FAST", "TS_FUNC"]),
    (r".\patterns\scan\scan_transition.pat", ["TS_SCAN_SHIFT", "TS_SCAN_CAP", "TS_FAST"]),
]


def test_pattern_time_set_map(period):
    header, *rows = period.rows("PatTsetMap_FT_HOT")
    assert header == ["Instances", "Pattern", "Tset_0", "Period_0", "Tset_1", "Period_1", "Tset_2", "Period_2"]
    assert [(r[1], r[2::2]) for r in rows] == PATTERN_TSETS
    by_pattern = {r[1]: r for r in rows}
    for pattern, _ in PATTERN_TSETS:
        row = by_pattern[pattern]
        instances = row[0].split(",")
        # one period per evaluation of the pattern, in every time set's cell
        assert all(len(value.split(",")) == len(instances) for value in row[3::2]), row
    assert by_pattern[r".\patterns\dc\leak_hiz.pat"][:4] == ["LEAKAGE", r".\patterns\dc\leak_hiz.pat", "TS_SLOW",
                                                             "1.000u"]
    fast = by_pattern[r".\patterns\func\func_alu_fast.pat"]
    assert fast[0] == "FUNC_ATSPEED,FUNC_ATSPEED" and fast[3] == "5.000n,5.000n"  # FT_ROOM, then FT_HOT
    # the core patterns run in Func_Main, both rows of Func_Vmin_Vmax and Func_Debug, in all three jobs
    assert by_pattern[r".\patterns\func\func_alu.pat"][0].split(",") == 3 * [
        "FUNC_MAIN", "FUNC_VMIN_VMAX", "FUNC_VMIN_VMAX", "FUNC_DEBUG"]


FT_HOT_BINS = [("10", "CONTINUITY"), ("20", "IDD_STATIC"), ("20", "IDD_STANDBY"), ("30", "FUNC_MAIN"),
               ("32", "FUNC_ATSPEED"), ("31", "FUNC_VMIN_VMAX"), ("40", "SCAN_STUCK"), ("42", "SCAN_ATSPEED"),
               ("41", "SCAN_CHAIN_INTEGRITY"), ("90", "FUNC_DEBUG")]


def test_sort_bin_sheet_marks_repeated_bins(period):
    assert [tuple(r) for r in period.rows("SortBinDescrp")] == FT_HOT_BINS
    rules = period.book["SortBinDescrp"].conditional_formatting
    (rule_range,) = [str(r.sqref) for r in rules]
    assert rule_range == f"A1:A{len(FT_HOT_BINS)}"
    (rule,) = [rule for r in rules for rule in r.rules]
    assert rule.type == "duplicateValues"


def test_instance_parameters_sheet(period):
    rows = period.table("InstParametersCheck")
    names = [r["Test Instance"] for r in rows]
    assert names == ["CONTINUITY", "LEAKAGE", "IDD_STATIC", "IDD_STANDBY", "FUNC_MAIN", "FUNC_VMIN_VMAX",
                     "SCAN_STUCK", "FUNC_DEBUG", "FUNC_ATSPEED", "SCAN_ATSPEED"]
    header = period.rows("InstParametersCheck")[0]
    assert header[:3] == ["Comment", "Test Instance", "Method"] and header[-1] == "ArgDetails"
    by_name = dict(zip(names, period.rows("InstParametersCheck")[1:]))
    assert by_name["FUNC_MAIN"][2:4] == ["Functional_VBT", "Func"]
    assert by_name["FUNC_MAIN"][11:15] == ["PS_Func", None, None, "True"]
    # the two rows of Func_Vmin_Vmax share one sheet row, which shows the second
    assert by_name["FUNC_VMIN_VMAX"][3] == "Func_Vmax"
    # blank argument values are marked by a rule over the row's argument cells
    rules = {str(r.sqref): [rule.type for rule in r.rules]
             for r in period.book["InstParametersCheck"].conditional_formatting}
    func_main = names.index("FUNC_MAIN") + 2
    assert rules[f"L{func_main}:O{func_main}"] == ["containsBlanks"]
    assert len(rules) == len(names)


def test_power_pin_clamp_sheet(period):
    header, *rows = period.rows("PowerPinClampCheck")
    assert header == ["Test Instance", "VDDIO", "VDD_CORE", "VDD_PLL"]
    clamps = {r[0]: r[1:] for r in rows}
    assert set(clamps) == {"CONTINUITY", "LEAKAGE", "IDD_STATIC", "IDD_STANDBY", "FUNC_MAIN", "FUNC_VMIN_VMAX",
                           "FUNC_DEBUG", "FUNC_ATSPEED", "SCAN_STUCK", "SCAN_ATSPEED"}
    # the last job that ran an instance decides: FT_HOT's wider clamps, CP1's for leakage
    assert clamps["CONTINUITY"] == [0.002, 0.01, 0.02]
    assert clamps["LEAKAGE"] == [0.05, 0.2, 0.02]
    assert clamps["IDD_STATIC"] == [0.075, 0.2, 0.02]
    assert clamps["IDD_STANDBY"] == [0.075, 0.02, 0.02]
    assert clamps["FUNC_MAIN"] == [0.075, 0.3, 0.02]
    # scan's level sheet has no PLL supply: no clamp there
    assert clamps["SCAN_STUCK"] == [0.075, 0.3, "=#NUM!"]  # the #NUM! error cell, as a formula
