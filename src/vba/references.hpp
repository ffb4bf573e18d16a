// The reference passes that run once after every module is scanned: the uses
// of declared variables (variable_references) and the number of lines and
// files that use each Type and Enum (reference_count, referenced_files).
//
// Each pass reads every line once: a line is split into its maximal runs of
// word characters, and each run is looked up in a hash map built once per
// pass, so the cost grows with the text and not with the number of names.
#pragma once

#include <pybind11/pybind11.h>

#include "vba/module_parser.hpp"

namespace tallowby::vba {
namespace py = pybind11;

// all_variables of a pass: original_name and name of every declared
// variable (globals, module variables, locals, in that order) to its record.
py::dict build_all_variables(ModuleParser& parser);

// The whole variable reference pass, with its two console lines; ends with
// the Type and Enum count.
void collect_variable_references(ModuleParser& parser);

// One module: `file_path` and `lines` as stored in `files`; `all_variables`
// the names to consult.
void collect_references_in_file(ModuleParser& parser, const py::str& file_path, const py::list& lines,
                                const py::dict& all_variables);

// One raw line with its 1-based number, module and enclosing procedure
// (a str, or None outside procedures).
void find_variable_references_in_line(ModuleParser& parser, const py::str& line, const py::int_& line_num,
                                      const py::str& file_path, py::handle function_name,
                                      const py::dict& all_variables);

// The Type and Enum reference count over every module in `files`.
void collect_type_enum_references(ModuleParser& parser);

}  // namespace tallowby::vba
