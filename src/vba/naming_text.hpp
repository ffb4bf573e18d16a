// The text operations that the VBT naming rules are built from, over host
// strings: PascalCase test and conversion, word splitting of capitals, and
// the type suffix of a declaration.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

#include "vba/model.hpp"

namespace tallowby::vba {
namespace py = pybind11;

// Non-empty, first character upper case, and nothing but letters, digits
// and "_" (Unicode letters and digits).
bool is_camel_style(const py::str& name);
// Splits at every run of characters other than ASCII letters and digits and
// capitalizes each piece; a plain ASCII name is capitalized unless it
// already starts with a capital.
py::str to_camel_style(const py::str& name);
// Inserts "_" before a capital that follows a lower-case letter or a digit,
// or that is followed by a lower-case letter.
py::str camel_to_snake_case(const py::str& camel_str);
// The suffix of a declaration of this type ("" for a type without one).
py::str type_suffix(std::optional<VarType> type, bool is_array);

}  // namespace tallowby::vba
