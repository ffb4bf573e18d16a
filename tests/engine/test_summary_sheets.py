import math

import openpyxl
import pytest
import xlsxwriter

from tallowby.marlet import Marlet


@pytest.fixture
def book(tmp_path):
    """(engine, new worksheet, read()) with the check workbook's formats."""
    path = str(tmp_path / "s.xlsx")
    wb = xlsxwriter.Workbook(path, {"nan_inf_to_errors": True})
    m = Marlet("t")
    m.format_red = wb.add_format({"bg_color": "#FFC7CE"})
    m.format_bold = wb.add_format({"bold": True})
    seen = []
    m.progressbarOne = seen.append
    m.seen = seen
    ws = wb.add_worksheet("S")

    def read():
        wb.close()
        return openpyxl.load_workbook(path)["S"]

    return m, ws, read


def values(ws):
    return [list(r) for r in ws.iter_rows(values_only=True)]


@pytest.mark.parametrize("mode, label", [("Period", "Period_"), ("Frequency", "Frequency_"), ("", "Frequency_")])
def test_pattern_map(book, mode, label):
    m, ws, read = book
    m.cycle_mode = mode
    tsets = {"p1": {"T1": "10.000n"}, "p2": {"A": "1", "B": "2", "C": "3"}, "p3": {}, "p4": {"X": ""}}
    users = {"p1": ["A", "B", "A"], "p2": ["C"], "p3": ["D"], "p4": ["E"]}
    m.write_pat_tset_map(users, tsets, ws)
    assert values(read()) == [
        ["Instances", "Pattern", "Tset_0", label + "0", "Tset_1", label + "1", "Tset_2", label + "2"],
        ["A,B,A", "p1", "T1", "10.000n", None, None, None, None],
        ["C", "p2", "A", "1", "B", "2", "C", "3"],
        ["D", "p3", None, None, None, None, None, None],
        ["E", "p4", "X", None, None, None, None, None],
    ]
    assert m.seen == [92.5, 95.0, 97.5, 100.0]


def test_empty_pattern_map(book):
    m, ws, read = book
    m.cycle_mode = "Period"
    m.write_pat_tset_map({}, {}, worksheet=ws)
    assert values(read()) == [["Instances", "Pattern", "Tset_0", "Period_0"]] and m.seen == []


def test_sort_bins(book):
    m, ws, read = book
    m.sort_bin_dscrp = [["1", "CONT"], ["5", "LEAK"], ["1", "FUNC"]]
    m.write_bin_descrp(ws)
    sheet = read()
    assert values(sheet) == [["1", "CONT"], ["5", "LEAK"], ["1", "FUNC"]]
    (rules,) = [(str(r.sqref), [x.type for x in r.rules]) for r in sheet.conditional_formatting]
    assert rules == ("A1:A3", ["duplicateValues"])


def test_no_sort_bins(book):
    m, ws, read = book
    m.sort_bin_dscrp = []
    m.write_bin_descrp(ws)
    sheet = read()
    assert values(sheet) == [] or values(sheet) == [[None]]
    assert list(sheet.conditional_formatting) == []


def record(method, args="", details=()):
    return {"Method": method, "DC Category": "", "DC Selector": "", "TimeSet": "", "AC Category": "",
            "AC Selector": "", "PinLevel": "", "Pattern": "", "ArgList": args, "ArgDetails": list(details)}


def test_instance_parameters(book):
    m, ws, read = book
    m.test_instance_dict = {"A": [record("m1", "x,y,z", ["1", "", "3"])],
                            "B": [record("m2", "x,y", ["1", "2"]), record("m3", "x", ["9"])],
                            "C": [record("m4")]}
    m.write_inst_para(ws)
    sheet = read()
    rows = values(sheet)
    assert rows[0] == ["Comment", "Test Instance", "Method", "DC Category", "DC Selector", "TimeSet", "AC Category",
                       "AC Selector", "PinLevel", "Pattern", "ArgList", "ArgDetails", None, None]
    assert rows[1][1:3] == ["A", "m1"] and rows[1][10:] == ["x,y,z", "1", None, "3"]
    assert rows[2][1:3] == ["B", "m3"] and rows[2][10:] == ["x", "9", "2", None]  # the later row wins
    assert rows[3][1:3] == ["C", "m4"] and len(rows) == 4
    blanks = sorted(str(r.sqref) for r in sheet.conditional_formatting)
    assert blanks == ["L2:N2", "L3", "L3:M3"]  # none for an instance without arguments
    assert sheet.freeze_panes == "C2" and sheet.auto_filter.ref == "A1:CW1"


def test_power_pin_clamps(book):
    m, ws, read = book
    m.power_pin_clamp_dict = {"X": {"P1": 0.5}, "EMPTY": {}, "Y": {"P1": 0.7, "P2": 1.2}}
    m.write_power_pin_clamp(ws)
    sheet = read()
    # a missing clamp is the error value #NUM! (stored as that formula)
    assert values(sheet) == [["Test Instance", "P1", "P2"], ["X", 0.5, "=#NUM!"], ["Y", 0.7, 1.2]]
    assert sheet.freeze_panes == "B2"


def test_clamp_rows_follow_the_columns(book):
    m, ws, read = book
    m.power_pin_clamp_dict = {"A": {"P2": 1.0}, "B": {"P1": 2.0}, "C": {"P2": 3.0}}
    m.write_power_pin_clamp(ws)
    assert [r[0] for r in values(read())] == ["Test Instance", "A", "C", "B"]


def test_no_clamps(book):
    m, ws, read = book
    m.power_pin_clamp_dict = {}
    m.write_power_pin_clamp(ws)
    assert values(read()) == [["Test Instance"]]
