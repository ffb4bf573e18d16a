// Console output through the host's sys.stdout, so that it interleaves with the
// host's own printing and can be captured.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string_view>

namespace tallowby::host {
namespace py = pybind11;

// print(text) in the host.
void print_line(py::handle text);
void print_line(std::string_view utf8);
// print() of the pieces (str objects) joined.
void print_parts(std::initializer_list<py::handle> pieces);

}  // namespace tallowby::host
