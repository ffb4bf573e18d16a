import os
import zipfile

import pytest

from tallowby.marlet import LastFlowInfo, Marlet

from engine_device import write_device

INITIAL = [
    ("power_order_path", ""), ("pattern_path", ""), ("job_list_dict", ""), ("device_directory", "TEMP"),
    ("work_sheet", None), ("text", None), ("last_flow_info", LastFlowInfo), ("glob_spec_dict", {}),
    ("MAX_DSP_CNT", 0), ("pattern_set_dict", {}), ("dc_spec_dict", {}), ("platform", "UltraFLEX"),
    ("tsb_dict", {}), ("clock_dic", {}), ("print_inst_info_col_cnt", 6), ("write_row_index", 0),
    ("cycle_mode", ""), ("tset_dict", {}), ("pat2inst_dict", {}), ("progressbarOne", None), ("power_list", []),
    ("sort_bin_dscrp", []), ("power_pin_clamp_dict", {}), ("enable_quillon", False),
]


def check_initial(m, device_directory):
    assert [k for k in vars(m) if k in dict(INITIAL)] == [k for k, _ in INITIAL]
    for key, value in INITIAL:
        got = getattr(m, key)
        if value is LastFlowInfo:
            assert isinstance(got, LastFlowInfo)
            assert (got.dc_spec_name, got.glob_spec_name, got.ac_spec_name, got.pattern_set_name) == (None,) * 4
        elif key == "device_directory":
            assert got == device_directory
        else:
            assert got == value and type(got) is type(value), key


def test_constructor_and_reset():
    m = Marlet("TEMP")
    check_initial(m, "TEMP")
    assert m.get_job_list() == ""
    m.tset_dict["p"] = {}
    m.device_directory = "elsewhere"
    cache = m.last_flow_info
    m.format_red = "kept"
    m.reset()
    check_initial(m, "elsewhere")
    assert m.last_flow_info is not cache and m.format_red == "kept"
    with pytest.raises(TypeError, match=r"Marlet.__init__\(\) missing 1 required positional argument: 'temp_directory'"):
        Marlet()


def test_read_device_from_folder(tmp_path):
    device = write_device(tmp_path / "dev", jobs={"CP1": {}, "FT1": {"flow": "Flow_FT"}})
    m = Marlet(str(tmp_path / "temp"))
    logs, progress = [], []
    m.read_device(str(device), "order.xls", "pats", "J750", logs.append, "Frequency", "ENV", True, progress.append)
    assert logs == ["Import Context Environment: ENV", "Import Power Order File: order.xls",
                    "Import Pattern Path: pats", "Quillon Enabled!"]
    assert (m.device_directory, m.power_order_path, m.pattern_path, m.platform, m.cycle_mode, m.context_env,
            m.enable_quillon) == (str(device), "order.xls", "pats", "J750", "Frequency", "ENV", True)
    jobs = m.get_job_list()
    assert jobs is m.job_list_dict and list(jobs) == ["CP1", "FT1"] and jobs["FT1"]["Flow Table"] == "Flow_FT"
    assert progress == []
    # a second device starts from a reset engine
    m.tset_dict["p"] = {}
    m.read_device(str(device), "", "", "UltraFLEX", None, "", "", 0, None)
    assert m.tset_dict == {} and m.enable_quillon is False and m.text is None


@pytest.mark.parametrize("flag, on", [(1, True), (1.0, True), (True, True), (0, False), (2, False), ("1", False),
                                      (None, False)])
def test_vbt_flag(tmp_path, flag, on):
    device = write_device(tmp_path / "dev")
    m = Marlet("t")
    m.read_device(str(device), "", "", "UltraFLEX", None, "", "", flag, None)
    assert m.enable_quillon is on


@pytest.mark.parametrize("name", ["d.zip", "DEVICE.ZIP", "Device.Igxl"])
def test_archives_are_unpacked(tmp_path, name):
    sheets = write_device(tmp_path / "src", jobs={"CP1": {}})
    temp = tmp_path / "temp"
    temp.mkdir()
    archive = tmp_path / name
    with zipfile.ZipFile(archive, "w") as z:
        for f in sheets.iterdir():
            z.write(f, f.name)
    m = Marlet(str(temp))
    m.read_device(str(archive), "", "", "UltraFLEX", None, "", "", 0, None)
    stem = name[: name.rfind(".")]
    assert m.device_directory == os.path.join(str(temp), stem)  # the archive's own folder
    assert list(m.get_job_list()) == ["CP1"]


def test_unsupported_ending_and_candidate_folder(tmp_path):
    temp = tmp_path / "temp"
    write_device(temp / "device", jobs={"J": {}})
    m = Marlet(str(temp))
    logs = []
    m.read_device(str(tmp_path / "device.txt"), "", "", "UltraFLEX", logs.append, "", "", 0, None)
    assert logs == ["Error: file extension is not supported."]
    assert m.device_directory == os.path.join(str(temp), "device") and list(m.get_job_list()) == ["J"]


@pytest.mark.parametrize("name", ["JobList.txt", "job_list_v2.txt", "Jobs blacklist.txt"])
def test_job_list_file_found_by_name(tmp_path, name):
    folder = tmp_path / "dev"
    folder.mkdir()
    m = Marlet("t")
    logs = []
    m.read_device(str(folder), "", "", "UltraFLEX", logs.append, "", "", 0, None)
    assert m.get_job_list() == {} and logs == []  # no job list: no line, no jobs
    jobs = write_device(tmp_path / "src", jobs={"CP1": {}}) / "Job List.txt"
    (folder / name).write_bytes(jobs.read_bytes())
    m.read_device(str(folder), "", "", "UltraFLEX", None, "", "", 0, None)
    assert list(m.get_job_list()) == ["CP1"]


@pytest.mark.parametrize("position", range(3))
def test_path_arguments_are_exact_texts(position):
    args = ["d", "", "", "UltraFLEX", None, "", "", 0, None]
    name = ["device_path", "power_order_path", "pattern_path"][position]
    args[position] = None
    m = Marlet("t")
    m.tset_dict["kept"] = {}
    with pytest.raises(TypeError, match=rf"^Argument '{name}' has incorrect type \(expected str, got NoneType\)$"):
        m.read_device(*args)
    assert m.tset_dict == {"kept": {}}  # nothing ran


def test_sinks():
    m = Marlet("t")
    m._Marlet__put_data_log("dropped")
    m.update_progressbar(5)
    seen = []
    m.text, m.progressbarOne = seen.append, seen.append
    m._Marlet__put_data_log("line")
    m.update_progressbar(2.5)
    assert seen == ["line", 2.5]


def files_under(folder):
    return sorted(os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder) for f in fs)


@pytest.fixture
def sandbox(tmp_path):
    """sandbox(device name) -> (engine over sandbox/outer/temp, the device path beside it); everything
    an unpacking writes must stay inside temp."""

    def make(name):
        temp = tmp_path / "outer" / "temp"
        temp.mkdir(parents=True)
        return Marlet(str(temp)), temp, tmp_path / "outer" / name

    return make


@pytest.mark.parametrize(
    "name, layout, folder",
    [
        ("DEVICE.ZIP", "top folder", "DEVICE"),  # DEVICE.ZIP holding DEVICE/...: the usual way to zip a program
        ("device.zip", "top folder", "device"),
        ("DEVICE.ZIP", "root", "DEVICE"),
        ("...zip", "root", "__"),  # a name of dots names no folder above
        (".zip", "root", "_"),
        ("...zip", "top folder", "__"),
    ],
)
def test_archive_layouts_end_with_the_job_list_found(sandbox, name, layout, folder):
    m, temp, archive = sandbox(name)
    sheets = write_device(archive.parent / "src", jobs={"CP1": {}})
    top = name[: name.rfind(".")] + "/" if layout == "top folder" else ""
    with zipfile.ZipFile(archive, "w") as z:
        for f in sheets.iterdir():
            z.write(f, top + f.name)
    m.read_device(str(archive), "", "", "UltraFLEX", None, "", "", 0, None)
    assert m.device_directory == os.path.join(str(temp), folder)
    assert list(m.get_job_list()) == ["CP1"]
    assert files_under(temp) == sorted(os.path.join(folder, f.name) for f in sheets.iterdir())


def test_archive_members_never_leave_the_folder(sandbox, tmp_path):
    m, temp, archive = sandbox("d.zip")
    outside = tmp_path / "outer" / "elsewhere"
    outside.mkdir()
    (temp / "d").mkdir()
    os.symlink(outside, temp / "d" / "link")  # a link in the target folder leading out of it
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("../../escaped.txt", "x")
        z.writestr("/abs.txt", "x")
        z.writestr("link/through.txt", "x")
        z.writestr("sub/../../up.txt", "x")
        z.writestr("Job List.txt", "h\nh\nh\nh\n")
    m.read_device(str(archive), "", "", "UltraFLEX", None, "", "", 0, None)
    assert files_under(tmp_path / "outer") == sorted(
        ["d.zip", os.path.join("temp", "d", "Job List.txt"), os.path.join("temp", "d", "abs.txt"),
         os.path.join("temp", "d", "escaped.txt"), os.path.join("temp", "d", "sub", "up.txt")])
    assert m.get_job_list() == {}


class StubBook:
    """A macro workbook as the workbook library hands it out, with sheet titles that a
    hostile file may carry whether or not the library itself would accept them."""

    class Sheet:
        def __init__(self, title, rows):
            self.title, self.rows = title, rows

        def iter_rows(self, values_only):
            return iter(self.rows)

    def __init__(self, titles):
        job_list = [("h",)] * 4 + [("", "CP1", "", "TI", "FLOW", "AC", "DC", "PS", "")]
        self.worksheets = [self.Sheet("Job List", job_list)] + [self.Sheet(t, [("a", None, 1)]) for t in titles]

    def close(self):
        pass


@pytest.mark.parametrize(
    "title, file_name",
    [
        ("../../x", "______x.txt"),
        ("/abs/path", "_abs_path.txt"),
        ("a\\b", "a_b.txt"),
        ("..", "__.txt"),
        ("sub/../../../x", "sub" + "_" * 10 + "x.txt"),
        ("Flow Main", "Flow Main.txt"),
    ],
)
def test_workbook_sheets_are_written_inside_the_folder(sandbox, tmp_path, monkeypatch, title, file_name):
    import openpyxl

    m, temp, workbook = sandbox("prog.xlsm")
    monkeypatch.setattr(openpyxl, "load_workbook", lambda *args, **kwargs: StubBook([title]))
    m.read_device(str(workbook), "", "", "UltraFLEX", None, "", "", 0, None)
    assert m.device_directory == os.path.join(str(temp), "prog")
    assert list(m.get_job_list()) == ["CP1"]
    assert files_under(tmp_path / "outer") == sorted(
        [os.path.join("temp", "prog", "Job List.txt"), os.path.join("temp", "prog", file_name)])
    assert (temp / "prog" / file_name).read_text() == "a\t\t1\n"
