// tallowby.quillon.quillon: the VBA code model, the VBT naming rules, the
// VBA module parser, the refactorer and the command of the VBT tools.
#include <pybind11/pybind11.h>

#include "host/checked.hpp"
#include "host/console.hpp"
#include "modules/quillon/refactor_bindings.hpp"
#include "vba/model.hpp"
#include "vba/module_parser.hpp"
#include "vba/naming_rules.hpp"
#include "vba/records.hpp"

namespace py = pybind11;

namespace {

// pandas as `pd`, or None with a warning when it is not installed; any other
// failure while importing it fails the load.
void load_table_library(py::module_& m) {
    PyObject* pd = PyImport_ImportModule("pandas");
    if (pd) {
        m.attr("pd") = py::reinterpret_steal<py::object>(pd);
        return;
    }
    if (!PyErr_ExceptionMatches(PyExc_ImportError)) tallowby::host::raise_error();
    PyErr_Clear();
    m.attr("pd") = py::none();
    tallowby::host::print_line("警告: pandas未安装，Excel相关功能将不可用。请运行: pip install pandas openpyxl");
}

}  // namespace

PYBIND11_MODULE(quillon, m) {
    load_table_library(m);
    tallowby::vba::register_enums(m);
    tallowby::vba::register_records(m);
    tallowby::vba::register_naming_rules(m);
    tallowby::vba::register_parser(m);
    tallowby::refactor::register_refactorer(m);
    tallowby::refactor::register_command_line(m);
    // The command starts only when the module itself is the main module; run
    // as `python -m tallowby.quillon`, the package's __main__ calls main().
    if (py::str(m.attr("__name__")).equal(py::str("__main__"))) m.attr("main")();
}
