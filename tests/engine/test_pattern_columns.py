import pytest

PAT = "./patterns/burst/a.patx"  # the pattern file burst/a.patx of the pattern folder
TIMING_HEAD = [f"h{i}\ta\tb" for i in range(7)]


def instance(pattern=PAT, timeset="TS", category="CAT", selector="TYP"):
    return {
        "Method": "", "DC Category": "", "DC Selector": "", "TimeSet": timeset, "AC Category": category,
        "AC Selector": selector, "PinLevel": "", "Pattern": pattern, "ArgList": "", "ArgDetails": [],
    }


@pytest.fixture
def pat(engine, job_sheet, tmp_path, patinfo):
    """The engine ready for the pattern pass; pat.timing(name, rows) writes an UltraFLEX
    timing sheet from (time set, period, clock name, clock expression) rows."""
    folder = tmp_path / "prog" / "patterns"
    (folder / "burst").mkdir(parents=True)
    (folder / "burst" / "a.patx").write_text("pattern")

    class Pat:
        tool = patinfo
        patterns = folder
        flow_dir = str(tmp_path)

        @staticmethod
        def timing(name, rows):
            lines = TIMING_HEAD + [
                "\t".join(["", ts, period, clk, expr, "clock" if clk else "", ""]) for ts, period, clk, expr in rows
            ]
            (tmp_path / (name + ".txt")).write_text("".join(line + "\n" for line in lines))

        @staticmethod
        def run(suite, dps_count=0, row_start=0):
            assert engine._Marlet__pattern_period_clk_process(dps_count, row_start, {"Parameter": suite}, Pat.flow_dir) is None

    engine.pattern_path = str(folder)
    engine.platform = "UltraFLEX"
    engine.cycle_mode = "Period"
    engine.tsb_dict = {}
    engine.clock_dic = {}
    engine.tset_dict = {}
    engine.pat2inst_dict = {}
    engine.ac_spec_dict = {}
    engine.glob_spec_dict = {"TPER": "1E-8"}
    engine.spec_version = ""
    engine.test_instance_dict = {}
    patinfo.output = "\tT1 0\n"
    return Pat


def test_pattern_triple_on_the_instance_rows_with_outline(engine, pat, job_sheet, log):
    pat.timing("TS", [("T1", "=_TPER", "CK1", "=5E-9"), ("T1", "", "CK2", "=_TPER/4")])
    engine.test_instance_dict = {"T1": [instance(), instance(pattern=""), instance(timeset="")]}
    pat.run("T1", dps_count=2, row_start=4)
    assert engine.tsb_dict == {"TS": {"T1": "_TPER"}}
    assert engine.clock_dic == {"TS": {"T1": {"CK1": "5E-9", "CK2": "_TPER/4"}}}
    assert engine.tset_dict == {PAT: {"T1": "10.000n"}}
    assert engine.pat2inst_dict == {PAT: ["T1"]}
    assert len(pat.tool.calls) == 1
    assert log == []
    sheet = job_sheet.close()
    assert sheet.cells() == {
        (0, 8): "PatternName_0", (0, 9): "Period_0", (0, 10): "Clock_0",
        (5, 8): PAT, (5, 9): "10.000n", (5, 10): "CK1:5.000n;CK2:2.500n;",
    }
    assert [sheet.width(c) for c in (8, 9, 10)] == [40, None, None]
    assert [sheet.outline(r) for r in (5, 6, 7)] == [(0, False, True), (1, True, False), (1, True, False)]


def test_single_instance_gets_no_row_options(engine, pat, job_sheet):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    engine.test_instance_dict = {"T1": [instance()]}
    pat.run("T1")
    sheet = job_sheet.close()
    assert sheet.row(1) == {6: PAT, 7: "10.000n"}  # an empty clock text leaves the cell blank
    assert sheet.outline(1) == (0, False, False)


def test_suite_without_test_instance(engine, pat, job_sheet, log, capsys):
    engine.test_instance_dict = {"T1": [instance()]}
    pat.run("T2")
    line = "Info: cannot found T2 in Test Instance, please check."
    assert log == [line]
    assert capsys.readouterr().out == line + "\n"
    assert job_sheet.close().cells() == {}


@pytest.mark.parametrize(
    "mode, head, period, clock",
    [
        ("Frequency", "Freq_0", "100.000M", "CK1:200.000M;"),
        ("Period", "Period_0", "10.000n", "CK1:5.000n;"),
        ("frequency", "Period_0", "10.000n", "CK1:5.000n;"),
    ],
)
def test_frequency_or_period(engine, pat, job_sheet, mode, head, period, clock):
    pat.timing("TS", [("T1", "=_TPER", "CK1", "=_TPER/2")])
    engine.cycle_mode = mode
    engine.test_instance_dict = {"T1": [instance()]}
    pat.run("T1")
    sheet = job_sheet.close()
    assert sheet.row(0)[7] == head
    assert sheet.row(1) == {6: PAT, 7: period, 8: clock}


def test_several_patterns_of_one_instance(engine, pat, job_sheet):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    engine.test_instance_dict = {"T1": [instance(pattern=PAT + ", " + PAT)]}
    pat.run("T1", dps_count=2)
    other = " " + PAT  # the piece keeps its blank: in the cell, in the maps and for the tool
    assert engine.pat2inst_dict == {PAT: ["T1"], other: ["T1"]}
    assert list(engine.tset_dict) == [PAT, other]
    assert len(pat.tool.calls) == 2
    sheet = job_sheet.close()
    assert sheet.row(0) == {
        8: "PatternName_0", 9: "Period_0", 10: "Clock_0", 11: "PatternName_1", 12: "Period_1", 13: "Clock_1",
    }
    assert sheet.row(1) == {8: PAT, 9: "10.000n", 11: other, 12: "10.000n"}
    assert [sheet.width(c) for c in (8, 11, 12)] == [40, 40, None]


def test_without_pattern_folder_only_the_pattern_is_shown(engine, pat, job_sheet):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    engine.pattern_path = ""
    engine.test_instance_dict = {"T1": [instance()], "T2": [instance()]}
    pat.run("T1")
    pat.run("T2", row_start=1)
    assert engine.pat2inst_dict == {PAT: ["T1", "T2"]}
    assert engine.tset_dict == {}
    assert pat.tool.calls == []
    assert job_sheet.close().row(2) == {6: PAT}


def test_time_set_missing_from_the_timing_sheet(engine, pat, job_sheet, log, capsys):
    pat.timing("TS", [("T2", "=1E-8", "CK", "=1E-8")])
    pat.tool.output = "\tT1 0\n\tT2 0\n"
    engine.test_instance_dict = {"S": [instance()]}
    pat.run("S")
    line = f"Warning: Tset(T1) in pattern({PAT}) is not list in TSB: TS"
    assert log == [line]
    assert capsys.readouterr().out == line + "\n"
    assert engine.tset_dict == {PAT: {"T1": "", "T2": "10.000n"}}
    assert job_sheet.close().row(1) == {6: PAT, 7: ",10.000n", 8: ",CK:10.000n;"}


def test_pattern_file_that_does_not_exist(engine, pat, job_sheet, log):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    missing = "./patterns/burst/none.patx"
    engine.test_instance_dict = {"S": [instance(pattern=missing)]}
    pat.run("S")
    assert log == [f"Warning: Tset(Error: pattern file does not exist) in pattern({missing}) is not list in TSB: TS"]
    assert engine.tset_dict == {missing: {"Error: pattern file does not exist": ""}}
    assert engine.pat2inst_dict == {missing: ["S"]}
    assert job_sheet.close().row(1) == {6: missing}


def test_pattern_met_again_uses_its_time_sets_and_adds_the_new_period(engine, pat, job_sheet):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    pat.timing("TS2", [("T1", "=2E-8", "", "")])
    engine.test_instance_dict = {"A": [instance()], "B": [instance(timeset="TS2")]}
    pat.run("A")
    pat.tool.output = "\tOTHER 0\n"
    pat.run("B", row_start=1)
    assert len(pat.tool.calls) == 1
    assert engine.tset_dict == {PAT: {"T1": "10.000n,20.000n"}}
    assert engine.pat2inst_dict == {PAT: ["A", "B"]}
    assert job_sheet.close().row(2) == {6: PAT, 7: "20.000n"}


@pytest.mark.parametrize(
    "mode, period, clock, period_text, clock_text",
    [
        ("Period", "=_NOPE", "=5E-9", "Error: cannot parse AC variables: _NOPE=", "CK:5.000n;"),
        ("Period", "=1E-8", "=_NOPE*2", "10.000n", "CK:Error: cannot parse AC variables: CK=_NOPE*2;"),
        ("Period", "=X", "=1E-8/", "Error: cannot parse AC variables: X=X", "CK:Error: cannot parse AC variables: CK=1E-8/;"),
        ("Frequency", "=0", "=1E-8", "Error: cannot parse AC variables: 0=1/(0)", "CK:100.000M;"),
        # no unit for a value below 1e-12: shown as an error
        ("Period", "=0", "=-1E-9", "Error: cannot parse AC variables: 0=0", "CK:Error: cannot parse AC variables: CK=-1E-9;"),
    ],
)
def test_expressions_that_cannot_be_evaluated(engine, pat, job_sheet, log, mode, period, clock, period_text, clock_text):
    pat.timing("TS", [("T1", period, "CK", clock)])
    engine.cycle_mode = mode
    engine.test_instance_dict = {"S": [instance()]}
    pat.run("S")
    assert log == []
    assert engine.tset_dict == {PAT: {"T1": period_text}}
    assert job_sheet.close().row(1) == {6: PAT, 7: period_text, 8: clock_text}


def test_pattern_tool_failure_leaves_the_pattern_out(engine, pat, job_sheet, log, capsys):
    pat.timing("TS", [("T1", "=1E-8", "", "")])
    (pat.patterns / "pattern_tset.txt").mkdir()  # the tool's output cannot be written or read
    engine.test_instance_dict = {"S": [instance(pattern=PAT + ",x"), instance()]}
    pat.run("S")
    warning = "Warning: cannot read pattern file: "
    assert log == [warning + PAT, warning + "x", warning + PAT]
    assert capsys.readouterr().out == "".join(line + "\n" for line in log)
    assert engine.pat2inst_dict == {}
    sheet = job_sheet.close()
    assert sheet.row(1) == {6: PAT, 9: "x"}
    assert sheet.row(2) == {6: PAT}
    assert sheet.outline(2) == (1, True, False)


@pytest.mark.parametrize(
    "category, context, period",
    [("::X", "ENV", "10.000n"), ("::X", "", "20.000n"), ("X::Y", "ENV", "30.000n")],
)
def test_ac_category_in_context(engine, pat, job_sheet, category, context, period):
    pat.timing("TS", [("T1", "=_TP", "", "")])
    engine.ac_spec_dict = {"TP": {"SELECTOR VAL": "TYP", "ENV::X TYP": "1E-8", "::X TYP": "2E-8", "X::Y TYP": "3E-8"}}
    engine.context_env = context
    engine.test_instance_dict = {"S": [instance(category=category)]}
    pat.run("S")
    assert job_sheet.close().row(1)[7] == period


def test_timing_sheet_named_by_the_first_time_set(engine, pat, job_sheet):
    pat.timing("TS1", [("T1", "=1E-8", "", "")])
    engine.test_instance_dict = {"S": [instance(timeset="TS1,TS2")]}
    pat.run("S")
    assert list(engine.tsb_dict) == list(engine.clock_dic) == ["TS1,TS2"]
    assert job_sheet.close().row(1)[7] == "10.000n"


def test_missing_timing_sheet_ends_the_row(engine, pat, job_sheet):
    engine.test_instance_dict = {"S": [instance(timeset="NONE"), instance()]}
    with pytest.raises(FileNotFoundError):
        pat.run("S")
    sheet = job_sheet.close()
    assert sheet.cells() == {}
    assert sheet.outline(1) == (0, False, True)


def test_extract_per_clk_takes_texts_only(engine, pat):
    with pytest.raises(TypeError, match=r"^Argument 'timing_name' has incorrect type \(expected str, got int\)$"):
        engine._Marlet__extract_per_clk(PAT, 1, "", "")
    engine.pattern_path = ""
    assert engine._Marlet__extract_per_clk(PAT, "TS", "", "") == ([""], [""])
