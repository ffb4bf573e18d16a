// tallowby.quillon.tabwick: the report writer of the VBT tools.
#include <pybind11/pybind11.h>

#include <utility>

#include "host/bind.hpp"
#include "report/issue_sheets.hpp"
#include "report/workbooks.hpp"

namespace py = pybind11;

namespace {

namespace host = tallowby::host;

struct Tabwick {};

// The record classes of the code model, and its map of references with a
// default, which the map parameters accept besides a plain dict.
void import_code_model(py::module_& m) {
    py::module_ model = py::module_::import("tallowby.quillon.quillon");
    for (const char* name : {"VariableInfo", "TypeInfo", "FunctionInfo", "VariableReference"}) {
        m.attr(name) = model.attr(name);
    }
    tallowby::host::accept_default_map(py::type::handle_of(model.attr("VBAParser")().attr("variable_references")));
    tallowby::host::accept_default_map(py::module_::import("collections").attr("defaultdict"));
}

}  // namespace

PYBIND11_MODULE(tabwick, m) {
    namespace report = tallowby::report;
    m.attr("pd") = py::module_::import("pandas");
    import_code_model(m);

    py::class_<Tabwick> cls(m, "Tabwick");
    host::constructor<Tabwick>(cls);
    host::method(
        cls, "generate_dry_run_report", {"update_progressbar", "parser", {"output_dir", py::str(".")}},
        [](py::object self, py::object progress, py::object parser, py::str output_dir) {
            return report::generate_dry_run_report(self, progress, parser, output_dir);
        },
        "生成dry-run报告");
    host::method(
        cls, "generate_refactor_report", {"changes_made", {"output_dir", py::str(".")}},
        [](py::object self, py::object changes, py::str output_dir) {
            return report::generate_refactor_report(self, changes, output_dir);
        },
        "生成重构报告");
    host::method(cls, "_write_variable_issues_sheet", {"writer", "variables", "sheet_name", "references"},
                 [](Tabwick&, py::object writer, py::list variables, py::str sheet_name, host::Map references) {
                     report::write_variable_issues_sheet(writer, variables, sheet_name, references);
                 });
    host::method(cls, "_write_type_issues_sheet", {"writer", "types", "sheet_name"},
                 [](Tabwick&, py::object writer, py::list types, py::str sheet_name) {
                     report::write_type_issues_sheet(writer, types, sheet_name);
                 });
    host::method(cls, "_write_function_issues_sheet", {"writer", "functions", "sheet_name"},
                 [](Tabwick&, py::object writer, host::Map functions, py::str sheet_name) {
                     report::write_function_issues_sheet(writer, functions, sheet_name);
                 });
    host::method(cls, "_write_summary_sheet", {"writer", "all_issues", "parser"},
                 [](Tabwick&, py::object writer, py::dict all_issues, py::object parser) {
                     report::write_summary_sheet(writer, all_issues, parser);
                 });
    host::method(cls, "_write_manual_check_sheet", {"writer", "parser", "sheet_name"},
                 [](Tabwick&, py::object writer, py::object parser, py::str sheet_name) {
                     report::write_manual_check_sheet(writer, parser, sheet_name);
                 });
    // The two refactor sheet writers take the same parameters.
    using RefactorSheet = void (*)(py::handle, py::handle, const py::str&);
    const std::pair<const char*, RefactorSheet> refactor_sheets[] = {
        {"_write_refactor_changes_sheet", report::write_refactor_changes_sheet},
        {"_write_refactor_summary_sheet", report::write_refactor_summary_sheet}};
    for (const auto& [name, write] : refactor_sheets) {
        host::method(cls, name, {"writer", "changes_made", "sheet_name"},
                     [write = write](Tabwick&, py::object writer, py::object changes, py::str sheet_name) {
                         write(writer, changes, sheet_name);
                     });
    }
}
