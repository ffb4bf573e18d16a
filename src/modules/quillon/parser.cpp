// VBAParser: the host class over ModuleParser.
#include "host/args.hpp"
#include "host/gc_pause.hpp"
#include "host/number_args.hpp"
#include "host/text.hpp"
#include "vba/line_tests.hpp"
#include "vba/module_parser.hpp"
#include "vba/parameter_check.hpp"
#include "vba/references.hpp"
#include "modules/quillon/passes.hpp"

namespace tallowby::vba {

namespace {

using host::arg_list;
using host::arg_str;
using host::arg_truncated_int;
using host::Signature;

py::object text_or_none(py::handle value, const char* name) {
    if (value.is_none()) return py::none();
    return arg_str(value, name);
}

}  // namespace

void register_parser(py::module_& m) {
    py::options options;
    options.disable_function_signatures();

    py::class_<ModuleParser> cls(m, "VBAParser", py::dynamic_attr(), "VBA代码解析器");
    cls.def(py::init([](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBAParser.__init__", {});
        sig.bind_none(args, kwargs);
        return new ModuleParser();
    }));

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

    cls.def(
        "parse_files",
        [](py::object self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser.parse_files", {"directory_path"});
            auto a = sig.bind(args, kwargs);
            py::str directory = arg_str(a[0], "directory_path");
            // The scan and the passes build records by the million and no cycles.
            host::GcPause no_gc;
            self.cast<ModuleParser&>().parse_files(self, directory);
        },
        "解析目录中的所有.bas文件");
    cls.def("_parse_file", [](ModuleParser& self, py::args args, py::kwargs kwargs) {
        static const Signature sig("VBAParser._parse_file", {"file_path", "lines"});
        auto a = sig.bind(args, kwargs);
        py::str path = arg_str(a[0], "file_path");
        py::list lines = arg_list(a[1], "lines");
        self.parse_file(path, lines);
    });
    cls.def(
        "_is_function_definition",
        [](ModuleParser&, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._is_function_definition", {"line"});
            auto a = sig.bind(args, kwargs);
            return is_function_definition(host::StrView(arg_str(a[0], "line")));
        },
        "检查是否为函数定义行");
    cls.def(
        "_is_variable_declaration",
        [](ModuleParser&, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._is_variable_declaration", {"line"});
            auto a = sig.bind(args, kwargs);
            return is_variable_declaration(host::StrView(arg_str(a[0], "line")));
        },
        "检查是否为变量声明行");
    cls.def(
        "_parse_variable_declaration",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._parse_variable_declaration",
                                       {"line", "file_path", "line_num", "function_name"});
            auto a = sig.bind(args, kwargs);
            py::str line = arg_str(a[0], "line");
            py::str path = arg_str(a[1], "file_path");
            py::int_ line_num = arg_truncated_int(a[2], "line_num");
            py::object function_name = text_or_none(a[3], "function_name");
            self.parse_variable_declaration(line, path, line_num, function_name);
        },
        "解析变量声明");
    cls.def(
        "_parse_variable_type",
        [](ModuleParser&, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._parse_variable_type", {"type_str"});
            auto a = sig.bind(args, kwargs);
            return py::reinterpret_borrow<py::object>(parse_variable_type(arg_str(a[0], "type_str")));
        },
        "解析变量类型");
    cls.def(
        "_parse_function_definition",
        [](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._parse_function_definition", {"line", "file_path", "line_num"});
            auto a = sig.bind(args, kwargs);
            py::str line = arg_str(a[0], "line");
            py::str path = arg_str(a[1], "file_path");
            py::int_ line_num = arg_truncated_int(a[2], "line_num");
            return self.parse_function_definition(line, path, line_num);
        },
        "解析函数定义");
    cls.def(
        "_parse_function_parameters",
        [](ModuleParser&, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBAParser._parse_function_parameters", {"params_str"});
            auto a = sig.bind(args, kwargs);
            return parse_function_parameters(arg_str(a[0], "params_str"));
        },
        "解析函数参数列表\n\n返回: [(name, type, byval_byref), ...]");

    auto definition_reader = [](bool is_enum) {
        return [is_enum](ModuleParser& self, py::args args, py::kwargs kwargs) {
            static const Signature type_sig("VBAParser._parse_type_definition",
                                            {"line", "all_lines", "line_num", "file_path"});
            static const Signature enum_sig("VBAParser._parse_enum_definition",
                                            {"line", "all_lines", "line_num", "file_path"});
            auto a = (is_enum ? enum_sig : type_sig).bind(args, kwargs);
            py::str line = arg_str(a[0], "line");
            arg_list(a[1], "all_lines");
            py::int_ line_num = arg_truncated_int(a[2], "line_num");
            py::str path = arg_str(a[3], "file_path");
            self.parse_definition(is_enum, line, line_num, path);
        };
    };
    cls.def("_parse_type_definition", definition_reader(false), "解析Type定义");
    cls.def("_parse_enum_definition", definition_reader(true), "解析Enum定义");

    cls.def("_collect_variable_references", [](ModuleParser& self, py::args args, py::kwargs kwargs) {
        static const Signature sig("VBAParser._collect_variable_references", {});
        sig.bind_none(args, kwargs);
        collect_variable_references(self);
    }, "收集所有变量的引用信息");
    cls.def("_check_function_parameters", [](ModuleParser& self, py::args args, py::kwargs kwargs) {
        static const Signature sig("VBAParser._check_function_parameters", {});
        sig.bind_none(args, kwargs);
        check_function_parameters(self);
    }, "检查函数参数命名");

    register_passes(cls);
}

}  // namespace tallowby::vba
