// VBAParser: reference passes, parameter check and issue list.
#include "modules/quillon/passes.hpp"

#include "host/args.hpp"
#include "vba/parameter_check.hpp"
#include "vba/references.hpp"

namespace tallowby::vba {

namespace {

using host::arg_dict;
using host::arg_int;
using host::arg_list;
using host::arg_str;
using host::Signature;

}  // namespace

void register_passes(py::class_<ModuleParser>& cls) {
    cls.def(
        "_collect_references_in_file",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._collect_references_in_file",
                                       {"file_path", "lines", "all_variables"});
            auto a = sig.bind(args, kwargs);
            py::str path = arg_str(a[0], "file_path");
            py::list lines = arg_list(a[1], "lines");
            py::dict all_variables = arg_dict(a[2], "all_variables");
            collect_references_in_file(self, path, lines, all_variables);
        },
        "在单个文件中收集变量引用");
    cls.def(
        "_find_variable_references_in_line",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._find_variable_references_in_line",
                                       {"line", "line_num", "file_path", "function_name", "all_variables"});
            auto a = sig.bind(args, kwargs);
            py::str line = arg_str(a[0], "line");
            py::int_ line_num = arg_int(a[1], "line_num");
            py::str path = arg_str(a[2], "file_path");
            py::object function_name = a[3].is_none() ? py::none() : py::object(arg_str(a[3], "function_name"));
            py::dict all_variables = arg_dict(a[4], "all_variables");
            find_variable_references_in_line(self, line, line_num, path, function_name, all_variables);
        },
        "在单行代码中查找变量引用");
    cls.def(
        "get_variable_references",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) -> py::object {
            static const Signature sig("VBAParser.get_variable_references", {"var_name"});
            auto a = sig.bind(args, kwargs);
            py::str name = arg_str(a[0], "var_name");
            PyObject* found = PyDict_GetItemWithError(self.variable_references.ptr(), name.ptr());
            if (found) return py::reinterpret_borrow<py::object>(found);
            if (PyErr_Occurred()) throw py::error_already_set();
            return py::list();
        },
        "获取指定变量的所有引用");
    cls.def(
        "_collect_type_enum_references",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._collect_type_enum_references", {});
            sig.bind_none(args, kwargs);
            collect_type_enum_references(self);
        },
        "收集 Type/Enum 的引用信息");
    cls.def(
        "get_all_variable_issues",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser.get_all_variable_issues", {});
            sig.bind_none(args, kwargs);
            return get_all_variable_issues(self);
        },
        "获取所有有问题的变量，按问题类型分类");
}

}  // namespace tallowby::vba
