// Conventions shared by the sheet readers.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// When `path` does not name an existing regular file, every "%20" in it is
// replaced by a blank; the result is used without a second test.
py::str retry_space_encoded(const py::str& path);

// The format version on line 0 of a sheet: group 1 of "version=(\S+?):" when
// the platform contains "UltraFLEX", else of "DFF (\d+(\.\d+)?)". A line
// without a match raises the host's AttributeError.
py::str sheet_version(const py::str& line, const py::str& platform);

// Case-sensitive substring test of the platform text.
bool platform_has(const py::str& platform, const char* name);

}  // namespace tallowby::sheets
