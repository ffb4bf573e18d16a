// The sheets of the dry-run report: the issue sheets (variables, Type/Enum
// definitions, function parameters), "Summary" and "Manual Check Required".
// The parser and its records are read through their attributes only; nothing
// is changed.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::report {
namespace py = pybind11;

void write_variable_issues_sheet(py::handle writer, const py::list& variables, const py::str& sheet_name,
                                 py::handle references);
void write_type_issues_sheet(py::handle writer, const py::list& types, const py::str& sheet_name);
void write_function_issues_sheet(py::handle writer, py::handle functions, const py::str& sheet_name);
void write_summary_sheet(py::handle writer, const py::dict& all_issues, py::handle parser);
void write_manual_check_sheet(py::handle writer, py::handle parser, const py::str& sheet_name);

}  // namespace tallowby::report
