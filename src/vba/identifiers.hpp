// What VBA takes for a name: a letter, then letters, digits or "_", at most
// 255 characters, and no reserved word. Names are compared ignoring case.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::vba {
namespace py = pybind11;

// Whether `name` (a str) may name a variable, procedure, Type or Enum.
bool is_vba_identifier(py::handle name);
// Whether `name` is a reserved word of the language (ignoring case).
bool is_vba_keyword(py::handle name);
// The form under which VBA compares a name: str.lower().
py::str name_key(py::handle name);

}  // namespace tallowby::vba
