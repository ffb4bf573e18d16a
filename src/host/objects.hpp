// The host's truth, equality, membership and size tests on any object, with
// the host's own error raised (as a C++ exception) when the object's method
// fails: bool(v), a == b, key in container, len(obj).
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

inline bool truthy(py::handle value) {
    const int r = PyObject_IsTrue(value.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

inline bool equal(py::handle a, py::handle b) {
    const int r = PyObject_RichCompareBool(a.ptr(), b.ptr(), Py_EQ);
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

inline bool holds(py::handle container, py::handle key) {
    const int r = PySequence_Contains(container.ptr(), key.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

inline Py_ssize_t size(py::handle obj) {
    const Py_ssize_t n = PyObject_Size(obj.ptr());
    if (n < 0) throw py::error_already_set();
    return n;
}

}  // namespace tallowby::host
