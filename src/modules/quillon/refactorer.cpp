// VBTRefactorer: the host class over the refactorer's state.
#include <memory>
#include <string>
#include <utility>

#include "host/args.hpp"
#include "host/text.hpp"
#include "modules/quillon/refactor_bindings.hpp"
#include "refactor/change_records.hpp"
#include "refactor/renaming.hpp"
#include "refactor/reviewed_report.hpp"

namespace tallowby::refactor {

namespace {

using host::arg_map;
using host::arg_str;
using host::Signature;

using Class = py::class_<Refactorer>;

Refactorer& state_of(py::handle self) { return self.cast<Refactorer&>(); }

// A method without parameters that runs fn(self, state) and answers what it returns.
template <class Result>
void def0(Class& cls, const char* name, Result (*fn)(py::handle, Refactorer&), const char* doc = "") {
    auto sig = std::make_shared<const Signature>(std::string("VBTRefactorer.") + name,
                                                 std::initializer_list<Signature::Param>{});
    cls.def(
        name,
        [sig, fn](py::object self, py::args args, py::kwargs kwargs) {
            sig->bind_none(args, kwargs);
            return fn(self, state_of(self));
        },
        doc);
}

template <ChangeKind kind>
void collector(py::handle self, Refactorer& state) {
    collect_suggested_renames(self, state, kind);
}

// A line test of the refactorer.
void def_line_test(Class& cls, const char* name, bool (*test)(const host::StrView&), const char* doc) {
    auto sig = std::make_shared<const Signature>(std::string("VBTRefactorer.") + name,
                                                 std::initializer_list<Signature::Param>{"line"});
    cls.def(
        name,
        [sig, test](Refactorer&, py::args args, py::kwargs kwargs) {
            auto a = sig->bind(args, kwargs);
            return test(host::StrView(arg_str(a[0], "line")));
        },
        doc);
}

}  // namespace

void register_refactorer(py::module_& m) {
    // The change map is a collections.defaultdict; map parameters accept it.
    host::accept_default_map(py::module_::import("collections").attr("defaultdict"));

    Class cls(m, "VBTRefactorer", py::dynamic_attr(), "VBT代码重构器");
    cls.def(py::init([](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTRefactorer.__init__", {"parser"});
        auto a = sig.bind(args, kwargs);
        return new Refactorer{a[0], new_change_map(), py::list(), false};
    }));
    cls.def_readwrite("parser", &Refactorer::parser);
    cls.def_readwrite("changes_made", &Refactorer::changes_made);

    cls.def(
        "apply_changes_from_excel",
        [](py::object self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBTRefactorer.apply_changes_from_excel", {"excel_path"});
            auto a = sig.bind(args, kwargs);
            py::str excel_path = arg_str(a[0], "excel_path");
            return apply_changes_from_excel(self, state_of(self), excel_path);
        },
        "从Excel报告中读取确认的修改并应用");
    cls.def(
        "_add_change",
        [](Refactorer& self, py::args args, py::kwargs kwargs) {
            static const Signature sig("VBTRefactorer._add_change", {"change_type", "change_info"});
            auto a = sig.bind(args, kwargs);
            py::str change_type = arg_str(a[0], "change_type");
            py::dict change_info = arg_map(a[1], "change_info");
            add_change(self.changes_made, change_type, change_info);
        },
        "记录一个修改");

    def0(cls, "_apply_all_changes", apply_all_changes, "应用所有修改");
    def_line_test(cls, "_is_function_definition", is_function_header, "检查是否为函数定义行");
    def_line_test(cls, "_is_variable_declaration", is_declaration, "检查是否为变量声明行");

    def0(cls, "refactor_all_issues", refactor_all_issues, "自动重构所有问题");
    def0(cls, "_refactor_global_variables", collector<ChangeKind::kGlobal>, "重构全局变量");
    def0(cls, "_refactor_module_variables", collector<ChangeKind::kModule>, "重构模块变量");
    def0(cls, "_refactor_local_variables", collector<ChangeKind::kLocal>, "重构局部变量");
    def0(cls, "_refactor_type_definitions", collector<ChangeKind::kType>, "重构Type定义");
    def0(cls, "_refactor_enum_definitions", collector<ChangeKind::kEnum>, "重构Enum定义");
}

}  // namespace tallowby::refactor
