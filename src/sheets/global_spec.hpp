// Global spec sheet: global spec symbol to value text.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// Holds nothing until a read opens its file; each such read starts a new map,
// so a map handed out earlier keeps the rows of its own sheet.
class GlobalSpecReader {
public:
    void read(const py::str& path, const py::str& platform);
    // Null until a read has opened its file (map) or passed line 0 (version).
    const py::object& specs() const { return specs_; }
    const py::object& version() const { return version_; }

private:
    py::object specs_;
    py::object version_;
};

}  // namespace tallowby::sheets
