#include "host/number_args.hpp"

#include "host/args.hpp"
#include "host/checked.hpp"

namespace tallowby::host {

py::int_ arg_truncated_int(py::handle value, const char* name) {
    if (value && PyLong_CheckExact(value.ptr())) return py::reinterpret_borrow<py::int_>(value);
    if (!value || !(PyLong_Check(value.ptr()) || PyFloat_Check(value.ptr()))) raise_incorrect_type(value, name, "int");
    return host::steal<py::int_>(PyNumber_Long(value.ptr()));
}

}  // namespace tallowby::host
