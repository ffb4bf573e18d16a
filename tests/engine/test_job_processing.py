import openpyxl
import pytest

import tallowby.marlet as marlet

from engine_device import flow_row, instance_row, write_device

FLOWS = {"Flow_Main": [flow_row("Test", "CONT", "100", "1", "1", "Fail"), flow_row("Test", "GHOST", "150", "1", "3"),
                       flow_row("nop", "LEAK", "200", "2", "1", "None"), flow_row("Test", "FUNC", "300", "3", "4", "none")]}
INSTANCES = {"Test Instances": [instance_row("cont"), instance_row("leak"), instance_row("leak"), instance_row("leak"),
                                instance_row("func")]}


def program(tmp_path, jobs=None, **sheets):
    kw = dict(flows=FLOWS, instances=INSTANCES, dc={"DC Specs": {"V": {("Selector", "Val"): "Typ"}}},
              ac={"AC Specs": {}}, pattern_sets={"PatSets": [("S1", "x.pat")]})
    kw.update(sheets)
    return write_device(tmp_path / "dev", jobs=jobs or {"CP1": {}}, **kw)


def run_jobs(m, tmp_path, jobs=("CP1",)):
    result = m.run(list(jobs), str(tmp_path))
    return openpyxl.load_workbook(result[0]) if result else None


def test_rows_placed_and_written(tmp_path, device_engine):
    m, logs, progress = device_engine(program(tmp_path))
    book = run_jobs(m, tmp_path)
    rows = [r[:6] for r in book["CP1"].iter_rows(values_only=True)]
    assert rows == [
        ("Opcode", "Parameter", "TestNumber", "HardBinNumber", "SortBinNumber", "Result"),
        ("Test", "CONT", "100", "1", "1", "Fail"),
        ("nop", "LEAK", "200", "2", "1", "None"), ("nop", "LEAK", "200", "2", "1", "None"),
        ("nop", "LEAK", "200", "2", "1", "None"),
        ("Test", "FUNC", "300", "3", "4", "none"),
    ]
    assert [c for c in m.calls if c[0] == "power"] == [("power", "CONT", 0), ("power", "GHOST", 1),
                                                         ("power", "LEAK", 1), ("power", "FUNC", 4)]
    assert m.sort_bin_dscrp == [["1", "CONT"], ["3", "GHOST"], ["1", "LEAK"], ["4", "FUNC"]]
    assert progress[:8] == [0, 1, 2, 3, 4, 5, 6, 7]
    assert progress[8:20] == [8.0, 10.5, 13.0, 15.5, 19.0, 21.5, 24.0, 26.5, 47.5, 65.0, 82.5, 100.0]
    assert logs[:2] == ["Parse Job: CP1", "Parse Flow Table: Flow_Main"]
    ws = book["CP1"]
    red, yellow = "FFFFC7CE", "FFF7D674"
    assert [ws.cell(r, 1).fill.fgColor.rgb == red for r in range(2, 7)] == [False, True, True, True, False]
    assert [ws.cell(r, 6).fill.fgColor.rgb == yellow for r in range(2, 7)] == [False, True, True, True, False]
    assert [ws.column_dimensions[c].width for c in "BC"] == [pytest.approx(20, abs=1), pytest.approx(15, abs=1)]


def test_spec_sheets_read_once_per_file(tmp_path, device_engine, monkeypatch):
    reads = []

    def counting(cls):
        class Counting(cls):
            pass

        for op in ("read_dc_spec", "read_ac_spec", "read_spec"):
            if hasattr(cls, op):
                def read(self, path, platform, _op=getattr(cls, op), _name=op):
                    reads.append((_name, path.rsplit("/", 1)[1]))
                    return _op(self, path, platform)
                setattr(Counting, op, read)
        return Counting

    for name in ("Dunmarrow", "Sunmere", "ParseGlobalSpec"):
        monkeypatch.setattr(marlet, name, counting(getattr(marlet, name)))
    ac = {"AC Specs": {}, "AC Other": {}}
    device = program(tmp_path, jobs={"CP1": {}, "CP2": {}, "CP3": {"ac": "AC Other"}}, ac=ac)
    text = (device / "AC Other.txt").read_text().replace("version=2.1:", "version=7.7:")
    (device / "AC Other.txt").write_text(text)
    m, _, _ = device_engine(device)
    run_jobs(m, tmp_path, ("CP1", "CP2", "CP3"))
    assert reads == [("read_dc_spec", "DC Specs.txt"), ("read_spec", "Global Specs.txt"),
                     ("read_ac_spec", "AC Specs.txt"), ("read_ac_spec", "AC Other.txt")]
    assert m.spec_version == "7.7"
    assert m.last_flow_info.ac_spec_name.endswith("AC Other.txt")


def test_sheet_failures_inside_a_job(tmp_path, device_engine, capsys):
    device = program(tmp_path, jobs={"CP1": {"patsets": "PatSets,,Missing", "instances": "Test Instances,Gone"}})
    (device / "Global Specs.txt").write_text("no version line\n")
    m, logs, _ = device_engine(device)
    book = run_jobs(m, tmp_path)
    gone = str(device / "Gone.txt")
    assert logs.count("Warning: cannot read PatternSet, please check it!") == 2
    assert "Error: cannot read " + gone + ", please check it!" in logs
    assert "Warning: cannot read Global Specs, please check it!" in logs
    assert "No such file or directory" in capsys.readouterr().out
    assert m.last_flow_info.pattern_set_name.endswith("PatSets.txt") and m.last_flow_info.glob_spec_name is None
    assert book["CP1"].max_row == 6  # the job went on


def test_empty_flow_table_entry(tmp_path, device_engine):
    m, logs, progress = device_engine(program(tmp_path, jobs={"CP1": {}, "CP2": {"flow": ""}}))
    book = run_jobs(m, tmp_path, ("CP1", "CP2"))
    i = logs.index("Parse Job: CP2")
    assert logs[i:i + 3] == ["Parse Job: CP2", "Parse Flow Table: ", "Flow Table Path Cannot be Empty, Please Check!"]
    assert book["CP2"].max_row == 1 and book["CP2"].cell(1, 1).value is None
    assert progress[-1] == 1  # nothing after the job's first value


def test_missing_dc_spec_ends_the_run(tmp_path, device_engine):
    m, logs, _ = device_engine(program(tmp_path, jobs={"CP1": {"dc": "No DC"}}))
    assert m.run(["CP1"], str(tmp_path)) == []
    assert logs[-2] == "An exception occurred!Please check!!!"


def test_row_failure_is_logged_and_the_next_row_goes_on(tmp_path, device_engine, capsys):
    m, logs, _ = device_engine(program(tmp_path))

    def broken(self, flow_table_directory, flow_table_info, flow_table_index):
        if flow_table_info["Parameter"] == "LEAK":
            raise ValueError("bad level")
        return 0

    type(m)._Marlet__power_process_and_get_count = broken
    try:
        run_jobs(m, tmp_path)
    finally:
        del type(m)._Marlet__power_process_and_get_count
    row = ("{'Opcode': 'nop', 'Parameter': 'LEAK', 'TestNumber': '200', 'HardBin': '2', 'SortBin': '1', "
           "'Result': 'None', 'write_row_start': 1}")
    i = logs.index("Error found in power process:")
    assert logs[i:i + 3] == ["Error found in power process:", "bad level", "2 - " + row]
    assert "2 " + row + "\n" in capsys.readouterr().out


def test_blank_in_device_folder(tmp_path, device_engine):
    device = write_device(tmp_path / "my dev", jobs={"CP1": {}}, flows=FLOWS, instances=INSTANCES,
                          dc={"DC Specs": {}}, ac={"AC Specs": {}}, pattern_sets={"PatSets": []})
    m, logs, _ = device_engine(device)
    book = run_jobs(m, tmp_path)
    assert book["CP1"].max_row == 6 and "An exception occurred!Please check!!!" not in logs


def test_job_name_must_be_text(tmp_path, device_engine):
    m, _, _ = device_engine(program(tmp_path))
    with pytest.raises(TypeError, match=r"^Argument 'job_name' has incorrect type \(expected str, got int\)$"):
        m._Marlet__run_each_flow(1)


def test_each_row_step_may_be_replaced_by_the_class_or_the_object(tmp_path, device_engine):
    seen = []

    class Tables(marlet.Marlet):
        def _Marlet__test_table_process(self, flow_table_index, flow_table_info):
            seen.append(("class", flow_table_info["Parameter"], flow_table_index))

    m, _, _ = device_engine(program(tmp_path), cls=Tables)
    m.save_max_col = lambda count: seen.append(("object", count))  # the object's own, over the bound one
    m._Marlet__put_data_log = lambda line: seen.append(("log", line))
    run_jobs(m, tmp_path)
    assert ("log", "Parse Job: CP1") in seen and ("log", "Execution successful!!!") in seen
    assert [s for s in seen if s[0] == "class"] == [("class", "CONT", 0), ("class", "GHOST", 1),
                                                   ("class", "LEAK", 1), ("class", "FUNC", 4)]
    assert [s[0] for s in seen].count("object") == 4
    assert m.MAX_DSP_CNT == 0  # the replaced save_max_col kept nothing


def test_bound_row_steps_check_what_a_replaced_step_gives(tmp_path, device_engine):
    class Odd(marlet.Marlet):
        def _Marlet__power_process_and_get_count(self, flow_table_directory, flow_table_info, flow_table_index):
            return "two"  # save_max_col, still the bound one, turns this down as it would from the host

    m, logs, _ = device_engine(program(tmp_path), cls=Odd)
    with pytest.raises(TypeError) as through_the_host:
        marlet.Marlet.save_max_col(m, "two")
    run_jobs(m, tmp_path)
    assert logs.count(str(through_the_host.value)) == 4  # one per row with a test instance
    assert logs.count("Error found in power process:") == 4


def test_a_step_replaced_on_the_class_itself_is_called(tmp_path, device_engine, monkeypatch):
    seen = []
    monkeypatch.setattr(marlet.Marlet, "save_max_col", lambda self, count: seen.append(count))
    m, _, _ = device_engine(program(tmp_path), cls=marlet.Marlet)
    run_jobs(m, tmp_path)
    assert len(seen) == 4
