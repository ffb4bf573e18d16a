// An operation of a bound class that a host subclass (or the object itself)
// may replace: the core runs the C++ directly when the object still answers
// the name with the operation bound from C++, and calls the replacement
// through the host otherwise.
#pragma once

#include <pybind11/pybind11.h>

#include <type_traits>
#include <utility>

#include "host/checked.hpp"

namespace tallowby::host {
namespace py = pybind11;

class OwnOperation {
public:
    // `name` as the host spells it (a private one already mangled); `owner`
    // gives the class the operation is bound on (looked up once, at the first
    // call, since the class is made after the core's statics).
    OwnOperation(const char* name, py::handle (*owner)()) : name_(name), owner_(owner) {}

    // Whether `self` answers the name with the bound operation.
    bool is_bound(py::handle self) const {
        if (!interned_) {
            interned_ = host::check(PyUnicode_InternFromString(name_));
        }
        if (!bound_) {
            // The operation as bound from C++: a method wrapping a built-in
            // function. A class whose attribute was already replaced (by a
            // caller, before the first use) has no bound one to compare with.
            PyObject* on_owner = host::check(PyObject_GetAttr(owner_().ptr(), interned_));
            if (!PyInstanceMethod_Check(on_owner) || !PyCFunction_Check(PyInstanceMethod_GET_FUNCTION(on_owner))) {
                Py_DECREF(on_owner);
                return false;
            }
            bound_ = on_owner;  // kept for the process
        }
        PyObject* dict = PyObject_GenericGetDict(self.ptr(), nullptr);
        if (dict) {
            const int own = PyDict_Contains(dict, interned_);
            Py_DECREF(dict);
            host::check(own);
            if (own) return false;
        } else {
            PyErr_Clear();  // an object without a dictionary has no entries of its own
        }
        PyObject* found = host::check(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(self.ptr())), interned_));
        const bool same = found == bound_;
        Py_DECREF(found);
        return same;
    }

    // direct() when the operation is the bound one (None when it gives
    // nothing); else self.<name>(args...).
    template <typename Direct, typename... Args>
    py::object operator()(py::handle self, Direct&& direct, Args&&... args) const {
        if (!is_bound(self)) return self.attr(name_)(std::forward<Args>(args)...);
        if constexpr (std::is_void_v<std::invoke_result_t<Direct&>>) {
            direct();
            return py::none();
        } else {
            return py::object(direct());
        }
    }

private:
    const char* name_;
    py::handle (*owner_)();
    mutable PyObject* interned_ = nullptr;
    mutable PyObject* bound_ = nullptr;
};

}  // namespace tallowby::host
