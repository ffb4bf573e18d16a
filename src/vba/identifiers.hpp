// What VBA takes for a name: a letter, then letters, digits or "_", at most
// 255 characters, and no reserved word. Names are compared ignoring case.
#pragma once

#include <pybind11/pybind11.h>

#include <string_view>

namespace tallowby::vba {
namespace py = pybind11;

// A letter, then letters, digits or "_"; at most 255 characters.
bool has_name_form(std::u32string_view name);
// A reserved word of the language or one of its built-in type, conversion
// and statement names (ASCII letters in any case).
bool is_vba_keyword(std::u32string_view name);
inline bool is_vba_identifier(std::u32string_view name) { return has_name_form(name) && !is_vba_keyword(name); }

// The same for a str (false for anything else).
bool is_vba_identifier(py::handle name);
// The form under which VBA compares a name: str.lower().
py::str name_key(py::handle name);

}  // namespace tallowby::vba
