"""A run reads each sheet file once while it is unchanged: later records and
jobs get the same results and the same log lines as a fresh read, and a sheet
changed on disk during the run is read again."""
import openpyxl
import pytest

from tallowby import marlet
from tallowby.marlet import Marlet

from engine_books import xls_bytes
from engine_device import flow_row, instance_row, write_device


def make_device(tmp_path):
    records = [instance_row(name, dc_category="CAT", dc_selector="TYP", ac_category="CAT", ac_selector="TYP",
                            timeset="TS", pin_level="PL", args="Patterns", details=("PS",))
               for name in ("A", "B", "B", "C")]
    device = write_device(
        tmp_path / "dev",
        # J1 and J2 name the same sheets; J2 also a pattern-set sheet that is missing
        jobs={"J1": {"patsets": "PatSets,Missing"}, "J2": {"patsets": "PatSets,Missing"}},
        flows={"Flow_Main": [flow_row("Test", n, str(k), "1", "1", "Fail") for k, n in enumerate("ABCX")]},
        instances={"Test Instances": records},
        dc={"DC Specs": {}}, ac={"AC Specs": {}},
        pin_levels={"PL": [("VDD", "VMAIN", "=1.8"), ("VDD", "IFOLDLEVEL", "=0.5"),
                           ("VIO", "VMAIN", "=3.3"), ("VIO", "IFOLDLEVEL", "=0.1")]},
        timing={"TS": [("T1", "=1E-8", "CK", "=5E-9")]},
        pattern_sets={"PatSets": [("PS", "x.pat")]})
    (device / "patterns").mkdir()
    (device / "order.xls").write_bytes(xls_bytes([("Pin", "Alias"), ("VIO", "IO"), ("VDD", ""), ("VXX", "X")]))
    return device


def run(tmp_path, device, jobs, out, cls=Marlet, on_log=None):
    m = cls(str(tmp_path / "temp"))
    logs = []

    def log(line):
        logs.append(line)
        if on_log:
            on_log(line)

    m.read_device(str(device), str(device / "order.xls"), str(device / "patterns"), "UltraFLEX", log, "Period", "",
                  0, None)
    out.mkdir()
    (path,) = m.run(jobs, str(out))
    return openpyxl.load_workbook(path), logs, m


def cells(ws):
    return [[c.value for c in row] for row in ws.iter_rows()]


def job_log(logs, job):
    start = logs.index("Parse Job: " + job)
    end = next(i for i in range(start + 1, len(logs))
               if logs[i].startswith(("Parse Job: ", "Output file path is: ")))
    return logs[start + 1:end]


def test_jobs_after_the_first_match_a_fresh_read(tmp_path, patinfo):
    patinfo.output = "\tT1 0\n"
    device = make_device(tmp_path)
    both, both_logs, both_engine = run(tmp_path, device, ["J1", "J2"], tmp_path / "both")
    alone, alone_logs, alone_engine = run(tmp_path, device, ["J2"], tmp_path / "alone")
    assert cells(both["J2"]) == cells(alone["J2"]) == cells(both["J1"])
    assert job_log(both_logs, "J2") == job_log(alone_logs, "J2") == job_log(both_logs, "J1")
    # the missing pattern-set sheet is reported for each job; the cached reads keep their values
    assert job_log(both_logs, "J2").count("Warning: cannot read PatternSet, please check it!") == 1
    assert any(c == "3.3" for row in cells(both["J2"]) for c in row)
    for name in ("PowerPinClampCheck", "InstParametersCheck", "SortBinDescrp"):
        assert cells(both[name]) == cells(alone[name])
    assert both_engine.test_instance_dict == alone_engine.test_instance_dict
    assert both_engine.last_flow_info.pattern_set_name == alone_engine.last_flow_info.pattern_set_name


def test_each_sheet_is_read_once_per_run(tmp_path, patinfo, monkeypatch):
    patinfo.output = "\tT1 0\n"
    device = make_device(tmp_path)
    reads = []

    def counted(cls, method):
        class Counted(cls):
            pass

        def read(self, *args):
            reads.append(cls.__name__)
            return getattr(cls, method)(self, *args)
        setattr(Counted, method, read)
        return Counted

    for name, method in [("ParsePinLevel", "read_pin_level"), ("ParseTIM", "read_timing"),
                         ("Ostrand", "read_test_instance"), ("Pendrel", "read_pattern_set")]:
        monkeypatch.setattr(marlet, name, counted(getattr(marlet, name), method))
    run(tmp_path, device, ["J1", "J2"], tmp_path / "out")
    # one pin-level, timing and instance sheet; two pattern-set sheets (one missing), each once
    assert sorted(reads) == ["Ostrand", "ParsePinLevel", "ParseTIM", "Pendrel", "Pendrel"]
    reads.clear()
    run(tmp_path, device, ["J1"], tmp_path / "again")  # a new run reads again
    assert sorted(reads) == ["Ostrand", "ParsePinLevel", "ParseTIM", "Pendrel", "Pendrel"]


@pytest.mark.parametrize("sheet, before, after", [
    ("PL.txt", "=3.3", "=2.5"),     # a pin level
    ("order.xls", None, None),       # the power order file: VIO renamed
])
def test_a_sheet_changed_during_the_run_is_read_again(tmp_path, patinfo, sheet, before, after):
    patinfo.output = "\tT1 0\n"
    device = make_device(tmp_path)

    def change(line):
        if line != "Parse Job: J2":
            return
        if sheet == "order.xls":
            (device / sheet).write_bytes(xls_bytes([("Pin", "Alias"), ("VIO", "IO_NEW"), ("VDD", "")]))
        else:
            path = device / sheet
            path.write_text(path.read_text().replace(before, after))

    book, _, _ = run(tmp_path, device, ["J1", "J2"], tmp_path / "out", on_log=change)
    first, second = cells(book["J1"]), cells(book["J2"])
    if sheet == "order.xls":
        assert "IO" in first[0] and "IO_NEW" in second[0]
    else:
        assert any("3.3" in row for row in first) and not any("3.3" in row for row in second)
        assert any("2.5" in row for row in second)
