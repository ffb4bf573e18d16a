// Integer parameters that take any host number: an int as it is, another
// number (a float, a bool) truncated to an int first.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// int(value) for an int or float (subclasses included); anything else is
// rejected with "Argument '<name>' has incorrect type (expected int, got <type>)".
// Infinities and NaN fail with the host's own OverflowError / ValueError.
py::int_ arg_truncated_int(py::handle value, const char* name);

}  // namespace tallowby::host
