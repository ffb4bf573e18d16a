// The engine's front-end calls and its per-job driver: the object's state,
// read_device, run, the per-job flow processing, the flow columns of the job
// sheet and the summary sheets. Each takes the engine object and reads and
// writes its attributes.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// Sets every attribute of the engine's initial state, in order;
// device_directory only when `device_directory` is given (the constructor).
void set_initial_state(py::handle self, py::handle device_directory);

void read_device(py::handle self, const py::str& device_path, const py::str& power_order_path,
                 const py::str& pattern_path, py::handle platform, py::handle text, py::handle cycle_mode,
                 py::handle context_env, py::handle enable_vbt_check, py::handle progressbar);

py::list run(py::handle self, py::handle job_name_set, py::handle work_dir);

void run_each_flow(py::handle self, const py::str& job_name);

// The job sheet's header row and widths; write_row_index back to 0.
void init_job_sheet(py::handle self);
void test_table_process(py::handle self, py::handle flow_table_index, py::handle flow_table_info);
void excel_file_optimise(py::handle self, py::handle worksheet, py::handle freeze_pane);

void write_pat_tset_map(py::handle self, py::handle pat2inst_dict, py::handle my_dict, py::handle worksheet);
void write_bin_descrp(py::handle self, py::handle worksheet);
void write_inst_para(py::handle self, py::handle worksheet);
void write_power_pin_clamp(py::handle self, py::handle worksheet);

}  // namespace tallowby::engine
