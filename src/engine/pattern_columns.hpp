// The pattern columns of a job sheet: per test instance one triple of
// columns per pattern (pattern, periods or frequencies, clocks), with the
// pattern's time sets found through the pattern tool once per pattern.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// One flow row: reads each instance's timing sheet, writes the pattern
// triples from column print_inst_info_col_cnt + dps_count on the instance's
// row and folds the row's instance rows into a collapsed outline.
void write_pattern_columns(py::handle engine, py::handle dps_count, py::handle write_row_start,
                           py::handle flow_table_info, py::handle flow_table_directory);

// One pattern of one instance: (period texts, clock texts), one entry per
// time set of the pattern, evaluated against the AC spec; records the
// pattern's time sets and periods in tset_dict.
py::tuple pattern_periods_and_clocks(py::handle engine, const py::str& pattern, const py::str& timing,
                                     const py::str& category, const py::str& selector);

}  // namespace tallowby::engine
