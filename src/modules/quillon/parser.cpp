// VBAParser: the host class over ModuleParser.
#include <tuple>

#include "host/bind.hpp"
#include "host/gc_pause.hpp"
#include "host/text.hpp"
#include "vba/line_tests.hpp"
#include "vba/module_parser.hpp"
#include "vba/parameter_check.hpp"
#include "vba/references.hpp"
#include "modules/quillon/passes.hpp"

namespace tallowby::vba {

void register_parser(py::module_& m) {
    py::options options;
    options.disable_function_signatures();

    py::class_<ModuleParser> cls(m, "VBAParser", py::dynamic_attr(), "VBA代码解析器");
    host::constructor<ModuleParser>(cls);

    cls.def_property_readonly("files", [](ModuleParser& p) { return p.files; });
    cls.def_property_readonly("file_encodings", [](ModuleParser& p) { return p.file_encodings; });
    cls.def_property_readonly("file_newlines", [](ModuleParser& p) { return p.file_newlines; });
    cls.def_property_readonly("global_variables", [](ModuleParser& p) { return p.global_variables; });
    cls.def_property_readonly("module_variables", [](ModuleParser& p) { return p.module_variables; });
    cls.def_property_readonly("local_variables", [](ModuleParser& p) { return p.local_variables; });
    cls.def_property_readonly("functions", [](ModuleParser& p) { return p.functions; });
    cls.def_property_readonly("types", [](ModuleParser& p) { return p.types; });
    cls.def_property_readonly("enums", [](ModuleParser& p) { return p.enums; });
    cls.def_property_readonly("variable_references", [](ModuleParser& p) { return p.variable_references; });

    host::method(
        cls, "parse_files", {"directory_path"},
        [](py::object self, py::str directory) {
            // The scan and the passes build records by the million and no cycles.
            host::GcPause no_gc;
            self.cast<ModuleParser&>().parse_files(self, directory);
        },
        "解析目录中的所有.bas文件");
    host::method(cls, "_parse_file", {"file_path", "lines"},
                 [](ModuleParser& self, py::str path, py::list lines) { self.parse_file(path, lines); });
    host::method(
        cls, "_is_function_definition", {"line"},
        [](ModuleParser&, py::str line) { return is_function_definition(host::StrView(line)); }, "检查是否为函数定义行");
    host::method(
        cls, "_is_variable_declaration", {"line"},
        [](ModuleParser&, py::str line) { return is_variable_declaration(host::StrView(line)); }, "检查是否为变量声明行");
    host::method(
        cls, "_parse_variable_declaration", {"line", "file_path", "line_num", "function_name"},
        [](ModuleParser& self, py::str line, py::str path, host::TruncatedInt line_num, host::TextOrNone function_name) {
            self.parse_variable_declaration(line, path, line_num, function_name);
        },
        "解析变量声明");
    host::method(
        cls, "_parse_variable_type", {"type_str"},
        [](ModuleParser&, py::str type_str) { return py::reinterpret_borrow<py::object>(parse_variable_type(type_str)); },
        "解析变量类型");
    host::method(
        cls, "_parse_function_definition", {"line", "file_path", "line_num"},
        [](ModuleParser& self, py::str line, py::str path, host::TruncatedInt line_num) {
            return self.parse_function_definition(line, path, line_num);
        },
        "解析函数定义");
    host::method(
        cls, "_parse_function_parameters", {"params_str"},
        [](ModuleParser&, py::str params) { return parse_function_parameters(params); },
        "解析函数参数列表\n\n返回: [(name, type, byval_byref), ...]");
    // The lines of the module are checked but not read: the definition's own
    // lines come from the file's lines.
    for (const auto& [name, is_enum, doc] : {std::tuple{"_parse_type_definition", false, "解析Type定义"},
                                             std::tuple{"_parse_enum_definition", true, "解析Enum定义"}}) {
        host::method(
            cls, name, {"line", "all_lines", "line_num", "file_path"},
            [is_enum = is_enum](ModuleParser& self, py::str line, py::list, host::TruncatedInt line_num, py::str path) {
                self.parse_definition(is_enum, line, line_num, path);
            },
            doc);
    }
    host::method(
        cls, "_collect_variable_references", {}, [](ModuleParser& self) { collect_variable_references(self); },
        "收集所有变量的引用信息");
    host::method(
        cls, "_check_function_parameters", {}, [](ModuleParser& self) { check_function_parameters(self); },
        "检查函数参数命名");

    register_passes(cls);
}

}  // namespace tallowby::vba
