// Time stamps from the local clock.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// The current local date and time formatted by strftime (as the host's
// time.strftime(format) gives it, for ASCII formats).
py::str local_time_text(const char* format);

}  // namespace tallowby::host
