// Time-set (timing) sheet: the period of each time set and its clock rows,
// in the UltraFLEX or the J750 layout.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

class TimingSheetReader {
public:
    // Adds the time sets of the sheet at `path`; time sets already known keep
    // their periods and take the new clock rows.
    void read(const py::str& path, const py::str& platform);
    py::dict& periods() { return periods_; }
    py::dict& clocks() { return clocks_; }

private:
    py::dict periods_;
    py::dict clocks_;
};

}  // namespace tallowby::sheets
