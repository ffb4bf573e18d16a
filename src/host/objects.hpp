// The host's truth, equality, membership and size tests on any object, and
// storing into a dict, with the host's own error raised (as a C++ exception)
// when the object's method fails: bool(v), a == b, key in container,
// len(obj), map[key] = value.
#pragma once

#include <pybind11/pybind11.h>

#include "host/checked.hpp"

namespace tallowby::host {
namespace py = pybind11;

inline bool truthy(py::handle value) {
    return host::check(PyObject_IsTrue(value.ptr())) != 0;
}

inline bool equal(py::handle a, py::handle b) {
    return host::check(PyObject_RichCompareBool(a.ptr(), b.ptr(), Py_EQ)) != 0;
}

inline bool holds(py::handle container, py::handle key) {
    return host::check(PySequence_Contains(container.ptr(), key.ptr())) != 0;
}

inline Py_ssize_t size(py::handle obj) {
    return host::check(PyObject_Size(obj.ptr()));
}

inline void set_item(const py::dict& map, py::handle key, py::handle value) {
    host::check(PyDict_SetItem(map.ptr(), key.ptr(), value.ptr()));
}

// for item in iterable: f(item), with the fast path for an exact list.
template <typename F>
void for_each_item(py::handle iterable, F&& f) {
    if (PyList_CheckExact(iterable.ptr())) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(iterable.ptr()); ++i) {
            py::object item = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(iterable.ptr(), i));
            f(item);
        }
        return;
    }
    for (py::handle item : py::iter(py::reinterpret_borrow<py::object>(iterable))) f(item);
}

}  // namespace tallowby::host
