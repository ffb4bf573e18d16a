// The device check engine `Marlet`: what every part of it shares.
//
// The engine object keeps all of its state as ordinary attributes in its
// instance dictionary (the front end and the sheet writers read them by
// name); the operations below take the engine as a host object and reach
// that state through its named fields (state.hpp). Private operations carry
// the host's mangled names ("_Marlet__run_each_flow"); where a subclass may
// replace one, the engine's own calls go through host::OwnOperation.
#pragma once

#include <pybind11/pybind11.h>

#include "host/objects.hpp"

namespace tallowby::engine {
namespace py = pybind11;

// The C++ side of a Marlet object: nothing; the state is in its attributes.
struct Marlet {};
using MarletClass = py::class_<Marlet>;

// Imports what the engine module needs when it is loaded and keeps it as
// attributes of the module: the nine sheet-parser classes, `unzip`,
// `format_str` and `export_sheets_to_txt` of tallowby.common, `VBAParser`, and
// pandas (`pd`), `xlrd` and `xlsxwriter`. Any failure fails the load.
void load_dependencies(py::module_& m);

// One of those names, looked up in the engine module when it is used.
py::object engine_global(const char* name);

// The class Marlet (for host::OwnOperation: the operations bound on it).
py::handle marlet_class();

// The engine's log line (through its __put_data_log) and its progress value
// (through update_progressbar).
void put_log(py::handle self, py::handle line);
void put_log(py::handle self, const std::string& utf8);
void progress(py::handle self, py::handle value);
// What __put_data_log and update_progressbar do: the value to the sink
// (the engine's `text` or `progressbarOne`) unless that is None.
void send_to_sink(py::handle sink, py::handle value);

// a == b and a + b as the host evaluates them (add: any operands).
using host::equal;
py::object add(py::handle a, py::handle b);

// Registration of the engine's operations, by area.
void register_engine_state(MarletClass& cls);      // constructor, reset, read_device, get_job_list, sinks
void register_run(MarletClass& cls);               // run
void register_flow_processing(MarletClass& cls);   // __run_each_flow, __init, __test_table_process, excel_file_optimise
void register_summary_sheets(MarletClass& cls);    // write_pat_tset_map, write_bin_descrp, write_inst_para, write_power_pin_clamp
void register_spec_values(MarletClass& cls);       // __spec_calculation, add_unit
void register_power_pins(MarletClass& cls);        // __power_process_and_get_count, save_max_col
void register_patterns(MarletClass& cls);          // __pattern_period_clk_process, __extract_per_clk
void register_last_flow_info(py::module_& m);      // LastFlowInfo

}  // namespace tallowby::engine
