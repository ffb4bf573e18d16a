// VBTRefactorer: the host class over the refactorer's state.
#include "host/args.hpp"
#include "host/bind.hpp"
#include "host/text.hpp"
#include "modules/quillon/refactor_bindings.hpp"
#include "refactor/change_records.hpp"
#include "refactor/renaming.hpp"
#include "refactor/reviewed_report.hpp"

namespace tallowby::refactor {

namespace {

using Class = py::class_<Refactorer>;

Refactorer& state_of(py::handle self) { return self.cast<Refactorer&>(); }

// A method without parameters that runs fn(self, state) and answers what it returns.
template <class Result>
void def0(Class& cls, const char* name, Result (*fn)(py::handle, Refactorer&), const char* doc) {
    host::method(cls, name, {}, [fn](py::object self) { return fn(self, state_of(self)); }, doc);
}

template <ChangeKind kind>
void collector(py::handle self, Refactorer& state) {
    collect_suggested_renames(self, state, kind);
}

// A line test of the refactorer.
void def_line_test(Class& cls, const char* name, bool (*test)(const host::StrView&), const char* doc) {
    host::method(cls, name, {"line"}, [test](Refactorer&, py::str line) { return test(host::StrView(line)); }, doc);
}

}  // namespace

void register_refactorer(py::module_& m) {
    // The change map is a collections.defaultdict; map parameters accept it.
    host::accept_default_map(py::module_::import("collections").attr("defaultdict"));

    Class cls(m, "VBTRefactorer", py::dynamic_attr(), "VBT代码重构器");
    host::constructor(cls, {"parser"},
                      [](py::object parser) { return new Refactorer{parser, new_change_map(), py::list(), false}; });
    cls.def_readwrite("parser", &Refactorer::parser);
    cls.def_readwrite("changes_made", &Refactorer::changes_made);

    host::method(
        cls, "apply_changes_from_excel", {"excel_path"},
        [](py::object self, py::str excel_path) { return apply_changes_from_excel(self, state_of(self), excel_path); },
        "从Excel报告中读取确认的修改并应用");
    host::method(
        cls, "_add_change", {"change_type", "change_info"},
        [](Refactorer& self, py::str change_type, host::Map change_info) {
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
