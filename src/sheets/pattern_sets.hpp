// Pattern set sheet: set name to its items, each a pattern file path or the
// name of another set; resolving a set gives the pattern files it stands for.
// The same object asks the pattern tool for the time sets of one pattern file
// and adds vector counts of pattern listings to the cycle counts of sets.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// Whether some element of `substrings` occurs in `s` (`sub in s`).
bool contains_any_substring(py::handle s, py::handle substrings);
// `s` cut back to end after the first element of `substrings` (in their order)
// that occurs, ignoring letter case, before the end of `s`; `s` itself when
// none does.
py::object truncate_after_substring(py::handle s, py::handle substrings);

class PatternSetReader {
public:
    PatternSetReader();

    // Adds the sets of the sheet at `path`; the platform selects the version
    // expression of line 0.
    void read(const py::str& path, const py::str& platform);
    // A new map: set name to the pattern file paths of the set, nested sets
    // expanded. A set that contains itself raises RecursionError; one that
    // stands for more than 1,048,576 pattern files raises ValueError.
    py::dict resolved() const;
    // The pattern file paths of one item.
    py::list pat_path(const py::str& item) const;

    // Asks the pattern tool for the time sets of the pattern file named by
    // `file_path` below the parent of `folder`.
    void read_tset(const py::str& folder, const py::str& file_path);
    // Adds the cycle count of a pattern listing to the entry of `set_name`.
    void read_pattern_file(py::handle path, py::handle set_name);

    py::dict& sets() { return sets_; }
    py::dict& cycles() { return cycles_; }
    py::list& tset_names() { return tset_names_; }
    py::object& version() { return version_; }

private:
    void expand(py::handle key, py::handle items, py::list& out, py::dict& done) const;

    py::list tset_names_;
    py::dict sets_;
    py::dict cycles_;
    py::object version_;
};

}  // namespace tallowby::sheets
