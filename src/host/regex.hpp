// Patterns compiled once by the host's `re` module, for work done once per file
// where the host's exact semantics are wanted.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// re.compile(pattern, flags), compiled on first use and kept for the process.
class HostPattern {
public:
    HostPattern(const char* pattern, int flags = 0) : pattern_(pattern), flags_(flags) {}
    // pattern.search(text): the match object or None.
    py::object search(py::handle text) const;
    // pattern.match(text).
    py::object match(py::handle text) const;
    // pattern.findall(text).
    py::list findall(py::handle text) const;
    const py::object& compiled() const;

private:
    struct Compiled {
        py::object pattern, search, match, findall;  // the pattern and its bound methods
    };
    const Compiled& get() const;
    const char* pattern_;
    int flags_;
    mutable Compiled* compiled_ = nullptr;  // kept alive for the process
};

// match.groups(): every group of a match, in group order (None for a group
// that did not take part).
py::tuple match_groups(const py::object& match);

constexpr int kIgnoreCase = 2;  // re.IGNORECASE

// Raises what `match.group(n)` raises when `match` is None: the host's
// AttributeError "'NoneType' object has no attribute 'group'".
py::str group_or_raise(const py::object& match, int n);

}  // namespace tallowby::host
