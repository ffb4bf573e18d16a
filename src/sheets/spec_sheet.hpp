// Spec sheet (AC and DC specs): spec symbol to a map from header key
// (category, one blank, selector) to the row's cell, all upper-cased.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// The inner map of one data row: for every key of `key_list` from index 3 on,
// key upper-cased to `line_list`[index] upper-cased. Any iterable of keys and
// any indexable row serve.
py::dict spec_row_content(py::handle line_list, py::handle key_list);

class SpecSheetReader {
public:
    // Adds the symbols of the sheet at `path` to the map; a symbol read again
    // takes the new row's map in the place it first stood.
    void read(const py::str& path, const py::str& platform);
    py::dict& specs() { return specs_; }
    py::str& version() { return version_; }

private:
    py::dict specs_;
    py::str version_ = py::str("");
};

}  // namespace tallowby::sheets
