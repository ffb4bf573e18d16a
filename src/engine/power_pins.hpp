// The power-pin columns of a job sheet: one DPS column per power pin of the
// job, the pins' supply levels on the instance rows, their clamps kept for
// the clamp check sheet.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// One flow row: for each test instance of its test suite that has a DC
// category, the pin-level sheet's power pins (in the power order file's
// order when one is given) get their level written into their DPS column on
// the instance's row and their clamp stored in power_pin_clamp_dict.
// Returns the number of DPS columns of the job so far, or 0 when the test
// suite has no test instance.
py::int_ process_power_pins(py::handle engine, py::handle flow_table_directory, py::handle flow_table_info,
                            py::handle flow_table_index);

// MAX_DSP_CNT raised to `count` when that is larger.
void raise_max_dps_count(py::handle engine, py::handle count);

}  // namespace tallowby::engine
