// Calls into the host's C API, checked in one step: each helper takes the
// call's result and, when it says the call failed (null, or a negative
// status), raises the error the host has set as the C++ exception that
// carries it (py::error_already_set); otherwise it gives the result back.
//
//   host::check(PyList_Append(list, item));
//   const int found = host::check(PySet_Contains(set, key));
//   py::object sum = host::steal(PyNumber_Add(a, b));
#pragma once

#include <pybind11/pybind11.h>

#include <cstdarg>

namespace tallowby::host {
namespace py = pybind11;

// A status or truth result: -1 (any negative) on failure.
inline int check(int result) {
    if (result < 0) throw py::error_already_set();
    return result;
}
inline long check(long result) {
    if (result < 0) throw py::error_already_set();
    return result;
}
inline long long check(long long result) {
    if (result < 0) throw py::error_already_set();
    return result;
}
// A truth value carries no failure: a bool never goes through a check.
void check(bool) = delete;

// A pointer result (a borrowed or raw pointer): null on failure.
template <typename T>
T* check(T* result) {
    if (!result) throw py::error_already_set();
    return result;
}

// A new reference, owned from now on (as a T: py::str, py::list, ...): null
// on failure.
template <typename T = py::object>
T steal(PyObject* result) {
    if (!result) throw py::error_already_set();
    return py::reinterpret_steal<T>(result);
}

// A call whose failure shows only in the error indicator (a result that may
// also be a value, as -1 from PyLong_AsLong).
inline void check_error() {
    if (PyErr_Occurred()) throw py::error_already_set();
}

// The error the host has just been given (by a failed call, or set here), raised.
[[noreturn]] inline void raise_error() { throw py::error_already_set(); }

// A new error of the host's exception `type`, raised: with its text, or with
// a text made as PyErr_Format makes it (%U, %R, %S, %zd, %.200s, ...).
[[noreturn]] inline void raise(PyObject* type, const char* text) {
    PyErr_SetString(type, text);
    throw py::error_already_set();
}
[[noreturn]] inline void raise_format(PyObject* type, const char* format, ...) {
    va_list args;
    va_start(args, format);
    PyErr_FormatV(type, format, args);
    va_end(args);
    throw py::error_already_set();
}

}  // namespace tallowby::host
