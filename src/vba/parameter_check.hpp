// The parameter check pass and the issue list: what the naming rules found,
// as the report writer reads it.
#pragma once

#include <pybind11/pybind11.h>

#include "vba/module_parser.hpp"

namespace tallowby::vba {
namespace py = pybind11;

// Appends one text per non-compliant parameter to the issues of every
// procedure in `functions`.
void check_function_parameters(ModuleParser& parser);

// The records whose naming check left an issue, under "global_variables",
// "module_variables", "local_variables", "type_definitions",
// "enum_definitions" (new lists of the parser's own records).
py::dict get_all_variable_issues(ModuleParser& parser);

}  // namespace tallowby::vba
