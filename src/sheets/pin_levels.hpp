// Pin-level sheet: per pin the supply level (VMAIN, VPS rows) and the clamp
// (IFOLDLEVEL rows).
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// The value text of a level or clamp cell: group 1 of the first match of
// "=?(\S+)" in `cell`, upper-cased. A cell of white space only has no match
// and raises the host's AttributeError for the absent match.
py::str pin_level_value(const py::str& cell);

class PinLevelReader {
public:
    // Adds the pins of the sheet at `path` (anything the host's open() takes).
    void read(py::handle path);
    py::dict& levels() { return levels_; }
    py::dict& clamps() { return clamps_; }

private:
    py::dict levels_;
    py::dict clamps_;
};

}  // namespace tallowby::sheets
