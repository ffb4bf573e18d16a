// What a guard that catches "every ordinary error" of the host sees.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// Inside a catch block: the text (str(error)) of the exception being handled
// when it is an ordinary failure (an Exception in the host, or a C++ error
// that the binding layer would turn into one); anything else
// (KeyboardInterrupt, SystemExit, ...) is thrown on.
py::str failure_text();

// The same, but the exception object itself, with the C++ errors turned into
// their host exceptions.
py::object failure_object();

}  // namespace tallowby::host
