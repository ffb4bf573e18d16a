#include "host/console.hpp"

#include "host/checked.hpp"
#include "host/text.hpp"

namespace tallowby::host {

void print_line(py::handle text) {
    PyObject* builtins = PyEval_GetBuiltins();  // borrowed
    PyObject* print = PyDict_GetItemString(builtins, "print");  // borrowed
    host::check(print);
    PyObject* r = host::check(PyObject_CallOneArg(print, text.ptr()));
    Py_DECREF(r);
}

void print_line(std::string_view utf8) { print_line(from_utf8(utf8)); }

void print_parts(std::initializer_list<py::handle> pieces) { print_line(concat(pieces)); }

}  // namespace tallowby::host
