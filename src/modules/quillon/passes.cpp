// VBAParser: reference passes, parameter check and issue list.
#include "modules/quillon/passes.hpp"

#include "host/bind.hpp"
#include "host/checked.hpp"
#include "vba/parameter_check.hpp"
#include "vba/references.hpp"

namespace tallowby::vba {

void register_passes(py::class_<ModuleParser>& cls) {
    host::method(
        cls, "_collect_references_in_file", {"file_path", "lines", "all_variables"},
        [](ModuleParser& self, py::str path, py::list lines, py::dict all_variables) {
            collect_references_in_file(self, path, lines, all_variables);
        },
        "在单个文件中收集变量引用");
    host::method(
        cls, "_find_variable_references_in_line", {"line", "line_num", "file_path", "function_name", "all_variables"},
        [](ModuleParser& self, py::str line, py::int_ line_num, py::str path, host::TextOrNone function_name,
           py::dict all_variables) {
            find_variable_references_in_line(self, line, line_num, path, function_name, all_variables);
        },
        "在单行代码中查找变量引用");
    host::method(
        cls, "get_variable_references", {"var_name"},
        [](ModuleParser& self, py::str name) -> py::object {
            PyObject* found = PyDict_GetItemWithError(self.variable_references.ptr(), name.ptr());
            if (found) return py::reinterpret_borrow<py::object>(found);
            host::check_error();
            return py::list();
        },
        "获取指定变量的所有引用");
    host::method(
        cls, "_collect_type_enum_references", {}, [](ModuleParser& self) { collect_type_enum_references(self); },
        "收集 Type/Enum 的引用信息");
    host::method(
        cls, "get_all_variable_issues", {}, [](ModuleParser& self) { return get_all_variable_issues(self); },
        "获取所有有问题的变量，按问题类型分类");
}

}  // namespace tallowby::vba
