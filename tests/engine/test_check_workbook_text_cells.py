"""Texts of a test program stay texts in the check workbook: a sheet value
that looks like a formula or a link is stored as a string cell, unchanged."""
import openpyxl

from tallowby.marlet import Marlet

from engine_device import flow_row, instance_row, write_device

NAME = '=HYPERLINK("HTTP://X","Y")'  # upper case, as the parsers hand names out
FORMULAS = {
    "test number": "=2+2",
    "hard bin": "=3",
    "sort bin": "=1+1",
    "result": "=cmd|' /C calc'!A0",
    "pin": "=VDD",
    "pattern": "=x.pat",
    "arguments": "=ARG,B,C,D",
    "argument detail": "=_VDD_LVL*2",
    "link": "http://example.com/x",
    "time set": "=T1",
    "error value": "#N/A",
}


def test_formula_texts_through_every_column_are_string_cells(tmp_path, patinfo):
    f = FORMULAS
    device = write_device(
        tmp_path / "dev", jobs={"CP1": {}},
        flows={"Flow_Main": [flow_row("Test", NAME, f["test number"], f["hard bin"], f["sort bin"], f["result"])]},
        instances={"Test Instances": [instance_row(
            NAME, dc_category="CAT", dc_selector="TYP", ac_category="CAT", ac_selector="TYP", timeset="TS",
            pin_level="PL", args=f["arguments"],
            # a pattern set named among the argument values gives the instance its pattern
            details=(f["argument detail"], "PS", f["link"], f["error value"]))]},
        dc={"DC Specs": {}}, ac={"AC Specs": {}},
        pin_levels={"PL": [(f["pin"], "VMAIN", "=1.8"), (f["pin"], "IFOLDLEVEL", "=0.5")]},
        timing={"TS": [(f["time set"], "=1E-8", "=CK", "=5E-9")]},
        pattern_sets={"PatSets": [("PS", f["pattern"])]})
    (tmp_path / "dev" / "patterns").mkdir()
    patinfo.output = f"\t{f['time set']} 0\n"
    m = Marlet(str(tmp_path / "temp"))
    logs = []
    m.read_device(str(device), "", str(tmp_path / "dev" / "patterns"), "UltraFLEX", logs.append, "Period", "", 0, None)
    (path,) = m.run(["CP1"], str(tmp_path))
    assert "Execution successful!!!" in logs

    book = openpyxl.load_workbook(path)
    cells = [c for ws in book for row in ws.iter_rows() for c in row if c.value is not None]
    texts = {c.value for c in cells}
    expected = {NAME, *FORMULAS.values(), "=CK:5.000n;"}  # the clock cell starts with the clock's name
    assert expected <= texts
    not_strings = [(c.parent.title, c.coordinate, c.value, c.data_type) for c in cells
                   if isinstance(c.value, str) and c.data_type != "s"]
    assert not_strings == []
    assert [ws.title for ws in book if ws._hyperlinks] == []
