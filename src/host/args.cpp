#include "host/args.hpp"

#include <string>

#include "host/checked.hpp"

namespace tallowby::host {

void raise_incorrect_type(py::handle value, const char* name, const char* expected) {
    host::raise_format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                       name, expected, Py_TYPE(value.ptr())->tp_name);
}

py::str arg_str(py::handle value, const char* name) {
    if (!value || !Py_IS_TYPE(value.ptr(), &PyUnicode_Type)) raise_incorrect_type(value, name, "str");
    return py::reinterpret_borrow<py::str>(value);
}

py::int_ arg_int(py::handle value, const char* name) {
    if (!value || !Py_IS_TYPE(value.ptr(), &PyLong_Type)) raise_incorrect_type(value, name, "int");
    return py::reinterpret_borrow<py::int_>(value);
}

py::list arg_list(py::handle value, const char* name) {
    if (!value || !Py_IS_TYPE(value.ptr(), &PyList_Type)) raise_incorrect_type(value, name, "list");
    return py::reinterpret_borrow<py::list>(value);
}

py::dict arg_dict(py::handle value, const char* name) {
    if (!value || !Py_IS_TYPE(value.ptr(), &PyDict_Type)) raise_incorrect_type(value, name, "dict");
    return py::reinterpret_borrow<py::dict>(value);
}

namespace {
std::vector<PyObject*>& default_map_types() {
    static std::vector<PyObject*> types;  // kept alive for the process
    return types;
}
}  // namespace

void accept_default_map(py::handle map_type) {
    default_map_types().push_back(py::reinterpret_borrow<py::object>(map_type).release().ptr());
}

py::dict arg_map(py::handle value, const char* name) {
    if (value) {
        PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value.ptr()));
        if (type == reinterpret_cast<PyObject*>(&PyDict_Type)) return py::reinterpret_borrow<py::dict>(value);
        for (PyObject* accepted : default_map_types()) {
            if (type == accepted) return py::reinterpret_borrow<py::dict>(value);
        }
    }
    raise_incorrect_type(value, name, "dict");
}

Signature::Signature(std::string qualname, std::initializer_list<Param> params, bool is_method)
    : qualname_(std::move(qualname)), params_(params), is_method_(is_method) {}

namespace {

[[noreturn]] void type_error(const std::string& text) {
    host::raise(PyExc_TypeError, text.c_str());
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c' -- the host's way of listing names.
std::string list_names(const std::vector<const char*>& names) {
    std::string out;
    const size_t n = names.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0) out += (n == 2) ? " and " : (i + 1 == n ? ", and " : ", ");
        out += "'";
        out += names[i];
        out += "'";
    }
    return out;
}

}  // namespace

std::vector<py::object> Signature::bind(const py::args& args, const py::kwargs& kwargs) const {
    const size_t n_params = params_.size();
    const size_t n_pos = args.size();
    const size_t shift = is_method_ ? 1 : 0;
    std::vector<py::object> bound(n_params);
    for (size_t i = 0; i < n_pos && i < n_params; ++i) bound[i] = py::reinterpret_borrow<py::object>(args[i]);

    for (auto item : kwargs) {
        PyObject* key = item.first.ptr();
        size_t index = n_params;
        for (size_t i = 0; i < n_params; ++i) {
            if (PyUnicode_CompareWithASCIIString(key, params_[i].name) == 0) {
                index = i;
                break;
            }
        }
        if (index == n_params) {
            type_error(qualname_ + "() got an unexpected keyword argument '" + py::str(item.first).cast<std::string>() + "'");
        }
        if (bound[index]) type_error(qualname_ + "() got multiple values for argument '" + params_[index].name + "'");
        bound[index] = py::reinterpret_borrow<py::object>(item.second);
    }

    if (n_pos > n_params) {
        size_t required = 0;
        for (const auto& p : params_)
            if (!p.default_value) ++required;
        const size_t lo = required + shift, hi = n_params + shift, given = n_pos + shift;
        std::string takes;
        if (lo == hi) {
            takes = std::to_string(hi) + (hi == 1 ? " positional argument" : " positional arguments");
        } else {
            takes = "from " + std::to_string(lo) + " to " + std::to_string(hi) + " positional arguments";
        }
        type_error(qualname_ + "() takes " + takes + " but " + std::to_string(given) + (given == 1 ? " was given" : " were given"));
    }

    std::vector<const char*> missing;
    for (size_t i = 0; i < n_params; ++i) {
        if (bound[i]) continue;
        if (params_[i].default_value) {
            bound[i] = py::reinterpret_borrow<py::object>(params_[i].default_value);
        } else {
            missing.push_back(params_[i].name);
        }
    }
    if (!missing.empty()) {
        type_error(qualname_ + "() missing " + std::to_string(missing.size()) + " required positional argument" +
                   (missing.size() == 1 ? "" : "s") + ": " + list_names(missing));
    }
    return bound;
}

void Signature::bind_none(const py::args& args, const py::kwargs& kwargs) const { (void)bind(args, kwargs); }

}  // namespace tallowby::host
