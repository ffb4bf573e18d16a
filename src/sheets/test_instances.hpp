// Test instance sheet: instance name to the records of its rows, each with the
// pattern files the row uses.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// The names that "\t([\S ]+\.pat)" (or "...\.patx" when `patx`), ignoring
// case, finds in `text`, in order, as the host's re.findall gives them.
py::list find_pattern_names(const py::str& text, bool patx);

class TestInstanceReader {
public:
    // Adds the rows of the sheet at `path`. `pattern_sets` maps upper-cased
    // pattern-set names to lists of pattern file paths; it is only read.
    void read(const py::str& path, py::handle pattern_sets, const py::str& platform);
    // Appends the record of the row `line_list` with the pattern file names
    // that `pattern` finds in `line` (a compiled pattern or a pattern text).
    void find_pat_path(py::handle pattern, py::handle line, py::handle line_list);
    // The record of the row `line_list` (a sequence of field texts).
    py::dict instance_content(py::handle line_list, py::handle pattern_info);
    py::dict& instances() { return instances_; }

private:
    py::dict instances_;
};

}  // namespace tallowby::sheets
