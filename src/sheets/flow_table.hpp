// Flow table sheet: the test rows of a job in flow order, with every called
// sub-flow expanded at its call row.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// The six-key record of one flow row given as a sequence of field texts.
// `platform` is tested with the host's `in`, so any container serves.
py::dict flow_content(py::handle line_list, py::handle platform);

class FlowTableReader {
public:
    // Appends the rows of the sheet at `path` and of the sheets it calls.
    void read(const py::str& path, const py::str& platform);
    py::list& test_suites() { return test_suites_; }

private:
    py::list test_suites_;
};

}  // namespace tallowby::sheets
