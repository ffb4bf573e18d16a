import pytest

from tallowby import marlet
from tallowby.marlet import Marlet


@pytest.fixture
def log():
    """The engine's log lines, in order."""
    return []


@pytest.fixture
def engine(tmp_path, log):
    """A Marlet whose log lines go to `log`; tests set the attributes they use."""
    m = marlet.Marlet(str(tmp_path))
    m.text = log.append
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



class QuietPins(Marlet):
    """An engine whose power-pin and pattern passes do nothing, to test the passes around them."""

    def _Marlet__power_process_and_get_count(self, flow_table_directory, flow_table_info, flow_table_index):
        self.calls.append(("power", flow_table_info["Parameter"], flow_table_index))
        return len(self.power_list)

    def save_max_col(self, col_cnt):
        self.MAX_DSP_CNT = max(self.MAX_DSP_CNT, col_cnt)

    def _Marlet__pattern_period_clk_process(self, dps_count, write_row_start, flow_table_info, flow_table_directory):
        self.calls.append(("pattern", flow_table_info["Parameter"], write_row_start, dps_count))


@pytest.fixture
def device_engine(tmp_path):
    """device_engine(device_folder, **read_device options) -> (engine, log lines, progress values)."""

    def make(device, cls=QuietPins, **options):
        m = cls(str(tmp_path / "temp"))
        m.calls = []
        logs, progress = [], []
        args = dict(device_path=str(device), power_order_path="", pattern_path="", platform="UltraFLEX",
                    text=logs.append, cycle_mode="Period", context_env="", enable_vbt_check=0,
                    progressbarOne=progress.append)
        args.update(options)
        m.read_device(**args)
        return m, logs, progress

    return make
