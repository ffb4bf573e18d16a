import datetime
import os
import re

import openpyxl
import pytest

from engine_device import flow_row, instance_row, write_device

END = "=" * 31 + "END" + "=" * 31


def device(tmp_path, jobs=("CP1",), bas=None):
    d = write_device(
        tmp_path / "dev", jobs={j: {} for j in jobs},
        flows={"Flow_Main": [flow_row("Test", "CONT", "100", "1", "1", "Fail")]},
        instances={"Test Instances": [instance_row("cont")]},
        dc={"DC Specs": {}}, ac={"AC Specs": {}}, pattern_sets={"PatSets": [("S1", "x.pat")]})
    if bas is not None:
        (d / "m.bas").write_text(bas)
    return d


def sheets(path):
    return openpyxl.load_workbook(path).sheetnames


def test_check_workbook_frame(tmp_path, device_engine, monkeypatch):
    m, logs, progress = device_engine(device(tmp_path, jobs=("CP1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")))
    monkeypatch.chdir(tmp_path)
    before = datetime.date.today().isoformat()
    result = m.run(["CP1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ"], "./")
    (path,) = result
    stamp = re.fullmatch(r"\./Marlet_(\d{4}-\d\d-\d\d)__(\d{1,6})\.xlsm", path)
    assert stamp and stamp.group(1) in (before, datetime.date.today().isoformat())
    assert sheets(path) == ["CP1", "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "PatTsetMap_ABCDEFGHIJKLMNOPQRST", "SortBinDescrp",
                            "InstParametersCheck", "PowerPinClampCheck"]
    assert logs[-3:] == ["Output file path is: " + path, "Execution successful!!!", END]
    assert progress[0] == 0 and progress.count(100.0) == 2  # each job's last flow row ends at 100
    assert m.work_sheet.name == "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    assert m.format_bold.bold


def test_job_sheet_finishing(tmp_path, device_engine):
    m, _, _ = device_engine(device(tmp_path))
    (path,) = m.run(["CP1"], str(tmp_path))
    ws = openpyxl.load_workbook(path)["CP1"]
    assert ws.auto_filter.ref == "A1:CW1" and ws.freeze_panes == "C2"
    assert ws.row_dimensions[1].height == pytest.approx(20, abs=0.5)  # as the library stores 20
    assert ws.sheet_properties.outlinePr.summaryBelow is False


@pytest.mark.parametrize("jobs, sheets_written", [
    (["CP1", "NOPE"], ["CP1", "NOPE"]),       # not in the job map: the guard ends the run
    ([], []),                                # no last job to name the map sheet
    (["SortBinDescrp"], ["SortBinDescrp"]),  # a summary sheet's name taken by a job
])
def test_guard_saves_partial_workbook(tmp_path, device_engine, capsys, jobs, sheets_written):
    if jobs == ["SortBinDescrp"]:
        jobs_map = ("SortBinDescrp",)
    else:
        jobs_map = ("CP1",)
    m, logs, _ = device_engine(device(tmp_path, jobs=jobs_map))
    assert m.run(jobs, str(tmp_path)) == []
    assert logs[-2] == "An exception occurred!Please check!!!"
    assert re.search(r"(KeyError|UnboundLocalError|DuplicateWorksheetName)", capsys.readouterr().err)
    (path,) = tmp_path.glob("Marlet_*.xlsm")
    assert sheets(path)[: len(sheets_written)] == sheets_written


def test_interruptions_are_not_caught(tmp_path, device_engine):
    m, _, _ = device_engine(device(tmp_path))

    def stop(value):
        if value == 3:
            raise KeyboardInterrupt

    m.progressbarOne = stop
    with pytest.raises(KeyboardInterrupt):
        m.run(["CP1"], str(tmp_path))


BAS = 'Attribute VB_Name = "m"\nPublic counter As Long\n'


def test_vbt_step(tmp_path, device_engine, capsys):
    m, logs, progress = device_engine(device(tmp_path, bas=BAS), enable_vbt_check=1)
    result = m.run(["CP1"], str(tmp_path))
    assert len(result) == 2 and os.path.basename(result[1]).startswith("Quillon_Report_")
    i = logs.index(END)
    assert logs[i + 1:] == [
        "开始处理目录中的BAS文件: " + str(tmp_path / "dev"), "解析完成！", "发现 1 个全局变量", "发现 0 个函数",
        "发现 0 个Type定义", "发现 0 个Enum定义", "\n✓ 检查报告已生成: " + result[1], END]
    assert progress[-11:] == [0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100]
    assert "Global Variables" in openpyxl.load_workbook(result[1]).sheetnames


def test_report_writer_failure_keeps_check_workbook(tmp_path, device_engine, capsys):
    m, logs, _ = device_engine(device(tmp_path, bas=BAS), enable_vbt_check=1)
    # the check workbook cannot be written: the guard's second close fails as well
    with pytest.raises(Exception, match="No such file or directory"):
        m.run(["CP1"], str(tmp_path / "missing-folder"))
    assert logs[-2] == "An exception occurred!Please check!!!"
    m, logs, _ = device_engine(device(tmp_path, bas=BAS), enable_vbt_check=1)

    def failing(value):
        if value == 50:
            raise RuntimeError("display gone")

    m.progressbarOne = failing
    result = m.run(["CP1"], str(tmp_path))
    assert len(result) == 1 and result[0].endswith(".xlsm")
    assert logs[-2:] == ["An exception occurred!Please check!!!", "display gone"]
    assert logs[-3] == "发现 0 个Enum定义"


def test_flow_that_fans_out_ends_the_run_with_its_message(tmp_path, device_engine, capsys):
    d = device(tmp_path)
    head = "".join(f"header\t{i}\n" for i in range(4))
    call = "\t" * 6 + "call\t{}\t\n"
    levels = 21
    for i in range(levels):
        (d / f"F{i}.txt").write_text(head + call.format(f"F{i + 1}") * 2)
    (d / f"F{levels}.txt").write_text(head + "\t".join(flow_row("Test", "CONT", "100", "1", "1", "Fail")) + "\n")
    (d / "Flow_Main.txt").write_text(head + call.format("F0"))
    m, logs, _ = device_engine(d)
    assert m.run(["CP1"], str(tmp_path)) == []
    assert logs[-2:] == ["An exception occurred!Please check!!!",
                         "flow table Flow_Main.txt expands to more than 1048576 rows, more than a job sheet holds"]
