import pytest

from engine_books import xls_bytes

HEAD = ["h0", "h1", "h2"]


def instance(pin_level="PL", category="CAT", selector="TYP"):
    return {
        "Method": "", "DC Category": category, "DC Selector": selector, "TimeSet": "", "AC Category": "",
        "AC Selector": "", "PinLevel": pin_level, "Pattern": "", "ArgList": "", "ArgDetails": [],
    }


@pytest.fixture
def power(engine, job_sheet, tmp_path):
    """The engine ready for the power pass; power.sheet(name, pins) writes a pin-level sheet
    from (pin, level, clamp) triples (clamp None: no clamp row)."""

    class Power:
        folder = str(tmp_path)

        @staticmethod
        def sheet(name, pins):
            rows = HEAD[:]
            for pin, level, clamp in pins:
                rows.append(["", pin, "", "VMAIN", level, ""])
                if clamp is not None:
                    rows.append(["", pin, "", "IFOLDLEVEL", clamp, ""])
            (tmp_path / (name + ".txt")).write_text("".join("\t".join(r) + "\n" for r in rows))

        @staticmethod
        def order_file(rows):
            path = tmp_path / "power_order.xls"
            path.write_bytes(xls_bytes(rows))
            engine.power_order_path = str(path)

        @staticmethod
        def run(suite, row_start=0):
            return engine._Marlet__power_process_and_get_count(Power.folder, {"Parameter": suite}, row_start)

    engine.power_order_path = ""
    engine.dc_spec_dict = {}
    engine.glob_spec_dict = {}
    engine.spec_version = ""
    engine.power_list = []
    engine.power_pin_clamp_dict = {}
    engine.MAX_DSP_CNT = 0
    engine.test_instance_dict = {}
    return Power


def test_power_columns_in_sheet_order_and_levels_on_instance_rows(engine, power, job_sheet):
    power.sheet("PL", [("VDD", "=1.8", "=0.5"), ("VDDIO", "=3.3", "=0.25")])
    power.sheet("PL2", [("VDDIO", "=1.2", "=0.1")])
    engine.test_instance_dict = {"T1": [instance(), instance()], "T2": [instance("PL2")]}
    assert power.run("T1", 0) == 2
    assert power.run("T2", 2) == 2
    assert engine.power_list == ["VDD", "VDDIO"]
    assert engine.power_pin_clamp_dict == {"T1": {"VDD": 0.5, "VDDIO": 0.25}, "T2": {"VDDIO": 0.1}}
    sheet = job_sheet.close()
    assert sheet.row(0) == {6: "VDD", 7: "VDDIO"}
    assert sheet.row(1) == sheet.row(2) == {6: "1.8", 7: "3.3"}
    assert sheet.row(3) == {7: "1.2"}
    assert [sheet.width(c) for c in (5, 6, 7, 8)] == [None, 15, 15, None]
    assert not sheet.is_orange(1, 6)


@pytest.mark.parametrize("suite", ["", "NOPE"])
def test_suite_without_test_instance(engine, power, log, capsys, suite):
    engine.test_instance_dict = {"T1": [instance()]}
    assert power.run(suite) == 0
    line = "Info: cannot found " + suite + " in Test Instance, please check."
    assert log == [line]
    assert capsys.readouterr().out == line + "\n"
    assert engine.power_pin_clamp_dict == {}


def test_instances_without_dc_category_are_skipped_but_take_their_row(engine, power, job_sheet):
    power.sheet("PL", [("VDD", "=1", "=1")])
    engine.power_list = ["EARLIER"]
    engine.power_pin_clamp_dict = {"T1": {"OLD": 1.0}}
    engine.test_instance_dict = {"T1": [instance(category=""), instance(category="")]}
    assert power.run("T1") == 1
    assert engine.power_pin_clamp_dict == {"T1": {}}
    engine.test_instance_dict = {"T1": [instance(category=""), instance()]}
    assert power.run("T1", 4) == 2
    assert job_sheet.close().cells() == {(0, 7): "VDD", (6, 7): "1.0"}


def test_power_order_file_orders_and_names_the_columns(engine, power, job_sheet, log):
    power.sheet("PL", [("VDD", "=1", "=1"), ("VDDIO", "=2", "=2"), ("VDDQ", "=3", "=3"), ("AUX", "=4", "=4")])
    power.order_file([
        ["Pin", "Alias"],
        ["VDDIO", "CORE"],
        ["MISSING", "X"],
        ["VDD", ""],
        [12.0, None],
        ["AUX", "CORE2"],
        ["AUX", "CORE"],  # listed again: first position, last display name, one column with VDDIO
    ])
    engine.test_instance_dict = {"T1": [instance()]}
    assert power.run("T1") == 2
    assert engine.power_list == ["CORE", "VDD"]
    assert list(engine.power_pin_clamp_dict["T1"]) == ["VDDIO", "VDD", "AUX"]
    sheet = job_sheet.close()
    assert sheet.row(0) == {6: "CORE", 7: "VDD"}
    assert sheet.row(1) == {6: "4.0", 7: "1.0"}  # AUX overwrote VDDIO in the shared column
    assert log == [
        "Cannot find power pin name in pin level file!", "Power pin name is: MISSING",
        "Cannot find power pin name in pin level file!", "Power pin name is: 12",
    ]


def test_power_order_file_without_column_b_gives_no_power_pins(engine, power, job_sheet):
    power.sheet("PL", [("VDD", "=1", "=1")])
    power.order_file([["Pin"], ["VDD"]])
    engine.test_instance_dict = {"T1": [instance()]}
    assert power.run("T1") == 0
    assert job_sheet.close().cells() == {}


@pytest.mark.parametrize(
    "value, shown, orange",
    [
        ("1.23456789", "1.23457", False),
        ("0.00001", "1e-05", False),
        ("0.000015", "2e-05", False),
        ("0.002675", "0.00267", False),  # correctly rounded from the double (0.0026749999...)
        ("1.000005", "1.00001", False),  # (1.0000050000000000...04)
        ("1E16", "1e+16", False),
        ("0.000004", "0.0", True),
        ("0", "0.0", True),
        ("-0.000001", "-0.0", True),
        # the evaluation of resolved texts
        ("3", "3.0", False),
        ("1/2", "0.5", False),
        ("1/3", "0.33333", False),
        (".5", "0.5", False),
        ("5.", "5.0", False),
        ("1.5e-3", "0.0015", False),
        (" (1 + 2) * 3 ", "9.0", False),
        ("2*-3", "-6.0", False),
        ("10-2-3", "5.0", False),
        ("12/2/3", "2.0", False),
        ("--+-1", "-1.0", False),
        ("2+3*4-6/2", "11.0", False),
        ("-" * 10000 + "1", "1.0", False),
        ("(" * 150 + "1" + ")" * 150, "1.0", False),
        ("10**2", "100.0", False),  # the host's power
        ("7//2+7%2", "4.0", False),
        ("1/2+0.5", "1.0", False),  # a whole-number division beside a real number
    ],
)
def test_levels_rounded_and_shown(engine, power, job_sheet, value, shown, orange):
    # the value comes in through a global spec, so that blanks reach the evaluation
    power.sheet("PL", [("VDD", "=_LVL", "=1")])
    engine.glob_spec_dict = {"LVL": value}
    engine.test_instance_dict = {"T1": [instance()]}
    assert power.run("T1") == 1
    sheet = job_sheet.close()
    assert sheet.cells()[(1, 6)] == shown
    assert sheet.is_orange(1, 6) is orange


@pytest.mark.parametrize(
    "value, error",
    [
        ("VDD*2", ValueError),
        ("", ValueError),
        ("(1+2", ValueError),
        ("1+2)", ValueError),
        ("1 2", ValueError),
        ("1..2", ValueError),
        ("1e", ValueError),
        ("*2", ValueError),
        ("(" * 100000 + "1" + ")" * 100000, ValueError),
        ("1/0", ZeroDivisionError),
        ("1.5/(2-2)", ZeroDivisionError),
    ],
)
def test_failed_evaluation_ends_the_row_after_the_header(engine, power, job_sheet, value, error):
    power.sheet("PL", [("VDD", "=_LVL", "=1")])
    engine.glob_spec_dict = {"LVL": value}
    engine.test_instance_dict = {"T1": [instance()]}
    with pytest.raises(error):
        power.run("T1")
    assert engine.power_list == ["VDD"]
    assert job_sheet.close().cells() == {(0, 6): "VDD"}


def test_levels_and_clamps_resolve_against_the_dc_spec_in_context(engine, power, job_sheet):
    power.sheet("PL", [("VDD", "=_VDD*1.1", "=_CL")])
    engine.dc_spec_dict = {
        "VDD": {"SELECTOR VAL": "TYP", "ENV::CAT TYP": "1"},
        "CL": {"SELECTOR VAL": "TYP", "ENV::CAT TYP": "0.123456"},
    }
    engine.context_env = "ENV"
    engine.test_instance_dict = {"T1": [instance(category="::CAT")]}
    assert power.run("T1") == 1
    assert engine.power_pin_clamp_dict == {"T1": {"VDD": 0.12346}}
    assert job_sheet.close().cells()[(1, 6)] == "1.1"


def test_pin_without_clamp_fails_before_its_column(engine, power, job_sheet):
    power.sheet("PL", [("VDD", "=1", "=1"), ("VDDIO", "=2", None)])
    engine.test_instance_dict = {"T1": [instance()]}
    with pytest.raises(KeyError):
        power.run("T1")
    assert engine.power_list == ["VDD"]
    assert engine.power_pin_clamp_dict == {"T1": {"VDD": 1.0}}
    assert job_sheet.close().cells() == {(0, 6): "VDD", (1, 6): "1.0"}


@pytest.mark.parametrize("missing", ["pin level sheet", "power order file"])
def test_missing_files_raise(engine, power, tmp_path, missing):
    power.sheet("PL", [("VDD", "=1", "=1")])
    if missing == "power order file":
        engine.power_order_path = str(tmp_path / "none.xls")
    engine.test_instance_dict = {"T1": [instance("PL" if missing == "power order file" else "NONE")]}
    with pytest.raises(FileNotFoundError):
        power.run("T1")


@pytest.mark.parametrize("count, expected", [(3, 5), (5, 5), (7, 7), (7.9, 7), (True, 5)])
def test_save_max_col_keeps_the_largest(engine, count, expected):
    engine.MAX_DSP_CNT = 5
    assert engine.save_max_col(count) is None
    assert engine.MAX_DSP_CNT == expected
    assert type(engine.MAX_DSP_CNT) is int


@pytest.mark.parametrize("count, name", [("3", "str"), (None, "NoneType")])
def test_save_max_col_rejects_what_is_not_a_number(engine, count, name):
    engine.MAX_DSP_CNT = 0
    with pytest.raises(TypeError, match=rf"^Argument 'col_cnt' has incorrect type \(expected int, got {name}\)$"):
        engine.save_max_col(count)
