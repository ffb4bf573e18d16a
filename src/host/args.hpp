// Argument handling that behaves like a function defined in the host language:
// exact-type checks for declared parameters and the host's own wording for
// calls with missing, surplus or unknown arguments.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

namespace tallowby::host {
namespace py = pybind11;

// Each check accepts exactly its type: subclasses and None are rejected with
// TypeError "Argument '<name>' has incorrect type (expected <type>, got <type>)".
py::str arg_str(py::handle value, const char* name);
py::int_ arg_int(py::handle value, const char* name);
py::list arg_list(py::handle value, const char* name);
py::dict arg_dict(py::handle value, const char* name);
// A parameter declared as a map: an exact dict, or one of the maps with a
// default for absent keys that the module has accepted (accept_default_map).
py::dict arg_map(py::handle value, const char* name);
void accept_default_map(py::handle map_type);

// Raises the TypeError above for `value` declared as `expected`.
[[noreturn]] void raise_incorrect_type(py::handle value, const char* name, const char* expected);

// The parameter list of one operation. `bind` maps a call's positional and
// keyword arguments onto the parameters, filling defaults, and raises the
// TypeError texts the host gives for a function with this parameter list:
//   "Cls.op() missing 1 required positional argument: 'x'"
//   "Cls.op() takes 3 positional arguments but 4 were given"
//   "Cls.op() got an unexpected keyword argument 'y'"
//   "Cls.op() got multiple values for argument 'x'"
// For a method, `self` counts among the positional arguments in the messages,
// as it does in the host, but is not part of `args` or of the result.
// Signatures are meant to live for the whole process (function-local statics).
class Signature {
public:
    struct Param {
        const char* name;
        PyObject* default_value = nullptr;  // null: required; otherwise kept for the process
        Param(const char* n) : name(n) {}
        Param(const char* n, py::object d) : name(n), default_value(d.release().ptr()) {}
    };

    Signature(std::string qualname, std::initializer_list<Param> params, bool is_method = true);

    std::vector<py::object> bind(const py::args& args, const py::kwargs& kwargs) const;
    // For operations without parameters: only checks that nothing was passed.
    void bind_none(const py::args& args, const py::kwargs& kwargs) const;

    std::size_t size() const { return params_.size(); }
    const char* name(std::size_t i) const { return params_[i].name; }

private:
    std::string qualname_;
    std::vector<Param> params_;
    bool is_method_;
};

}  // namespace tallowby::host
