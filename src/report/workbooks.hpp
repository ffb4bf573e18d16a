// The two workbooks of the VBT tools: the dry-run report and the refactor
// report. Each is written through the table library's workbook writer scope
// (engine openpyxl), which saves the file when it is left, also by an
// exception; every failure reaches the caller.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::report {
namespace py = pybind11;

// `writer` is the object whose sheet-writer operations are called (the
// report writer itself, so that they are reached as its attributes).
py::str generate_dry_run_report(py::handle writer, py::handle update_progressbar, py::handle parser,
                                const py::str& output_dir);
py::str generate_refactor_report(py::handle writer, py::handle changes_made, const py::str& output_dir);

void write_refactor_changes_sheet(py::handle writer, py::handle changes_made, const py::str& sheet_name);
void write_refactor_summary_sheet(py::handle writer, py::handle changes_made, const py::str& sheet_name);

}  // namespace tallowby::report
