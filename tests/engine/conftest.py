import pytest

from tallowby import marlet


@pytest.fixture
def log():
    """The engine's log lines, in order."""
    return []


@pytest.fixture
def engine(tmp_path, log):
    """A Marlet whose log lines go to `log`; tests set the attributes they use."""
    try:
        m = marlet.Marlet(str(tmp_path))
    except TypeError:  # built without the constructor: an object with no attributes yet
        m = marlet.Marlet.__new__(marlet.Marlet)
    m.text = log.append
    m.progressbarOne = None
    if not hasattr(marlet.Marlet, "_Marlet__put_data_log"):
        m._Marlet__put_data_log = lambda line: m.text(line) if m.text is not None else None
    return m


@pytest.fixture
def job_sheet(tmp_path, engine):
    """A job sheet set as the engine's work_sheet, with the check workbook's orange format."""
    from engine_books import JobSheet

    sheet = JobSheet(tmp_path / "check.xlsx")
    engine.work_sheet = sheet.sheet
    engine.format_orange = sheet.format_orange
    engine.print_inst_info_col_cnt = 6
    engine.context_env = ""
    return sheet
