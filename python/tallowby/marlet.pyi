from collections.abc import Iterable
from typing import Any

import pandas as pd
import xlrd
import xlsxwriter
from tallowby.ambrel import ParsePinLevel as ParsePinLevel
from tallowby.common import export_sheets_to_txt as export_sheets_to_txt
from tallowby.common import format_str as format_str
from tallowby.common import unzip as unzip
from tallowby.corvain import ParseGlobalSpec as ParseGlobalSpec
from tallowby.dunmarrow import Dunmarrow as Dunmarrow
from tallowby.garvel import Garvel as Garvel
from tallowby.hestor import Hestor as Hestor
from tallowby.ostrand import Ostrand as Ostrand
from tallowby.pendrel import Pendrel as Pendrel
from tallowby.quillon.quillon import VBAParser as VBAParser
from tallowby.sunmere import Sunmere as Sunmere
from tallowby.valcour import ParseTIM as ParseTIM

# The engine's record of the sheets it read last, one per kind (None before
# the first job).
class LastFlowInfo:
    dc_spec_name: str | None
    glob_spec_name: str | None
    ac_spec_name: str | None
    pattern_set_name: str | None
    def __init__(self) -> None: ...

class Marlet:
    def __init__(self, temp_directory: str) -> None: ...
    def reset(self) -> None: ...
    def read_device(
        self,
        device_path: str,
        power_order_path: str,
        pattern_path: str,
        platform: str,
        text: Any,
        cycle_mode: Any,
        context_env: Any,
        enable_vbt_check: Any,
        progressbarOne: Any,
    ) -> None: ...
    # The job list that read_device read; an empty str before that.
    def get_job_list(self) -> dict[str, Any] | str: ...
    def update_progressbar(self, val: Any) -> None: ...
    def run(self, job_name_set: Iterable[str], work_dir: str = ...) -> list[Any]: ...
    def excel_file_optimise(self, worksheet: Any, freezePane: str = ...) -> None: ...
    def write_pat_tset_map(self, pat2inst_dict: dict[str, Any], my_dict: dict[str, Any], worksheet: Any) -> None: ...
    def write_bin_descrp(self, worksheet: Any) -> None: ...
    def write_inst_para(self, worksheet: Any) -> None: ...
    def write_power_pin_clamp(self, worksheet: Any) -> None: ...
    def add_unit(self, val: Any) -> Any: ...
    def save_max_col(self, col_cnt: int) -> None: ...
