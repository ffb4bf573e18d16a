// The host's `with` statement for a context manager held from C++.
#pragma once

#include <pybind11/pybind11.h>

#include <utility>

namespace tallowby::host {
namespace py = pybind11;

// Calls manager.__exit__ as the host does when a `with` block is left:
// with (None, None, None) after a normal end, or with the pending exception,
// which is raised again unless __exit__ answers true. An exception raised by
// __exit__ itself replaces it, with the pending one as its context.
class WithScope {
public:
    // Enters the scope: the result of manager.__enter__().
    explicit WithScope(py::object manager);
    const py::object& target() const { return target_; }

    // Runs body(target) inside the scope.
    template <typename Body>
    void run(Body&& body) {
        try {
            body(target_);
        } catch (py::error_already_set& e) {
            if (!leave_with_error(e)) throw;
            return;
        }
        leave();
    }

private:
    void leave();
    // Whether __exit__ suppressed the pending exception.
    bool leave_with_error(py::error_already_set& e);
    py::object exit_;
    py::object target_;
};

}  // namespace tallowby::host
