// Small binding helpers for operations without parameters, so that every one
// of them still rejects arguments with the host's wording.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <utility>

#include "host/args.hpp"

namespace tallowby::host {
namespace py = pybind11;

// A method `qualname` of T that takes no arguments and returns get(self).
template <typename T, typename Get>
auto method0(std::string qualname, Get get) {
    auto sig = std::make_shared<const Signature>(std::move(qualname), std::initializer_list<Signature::Param>{});
    return [sig, get](T& self, py::args args, py::kwargs kwargs) {
        sig->bind_none(args, kwargs);
        return get(self);
    };
}

// A constructor `qualname` (e.g. "Cls.__init__") that takes no arguments.
template <typename T>
auto init0(std::string qualname) {
    auto sig = std::make_shared<const Signature>(std::move(qualname), std::initializer_list<Signature::Param>{});
    return [sig](py::args args, py::kwargs kwargs) {
        sig->bind_none(args, kwargs);
        return new T();
    };
}

}  // namespace tallowby::host
