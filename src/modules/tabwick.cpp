// tallowby.quillon.tabwick: the report writer of the VBT tools.
#include <pybind11/pybind11.h>

#include <memory>
#include <string>
#include <utility>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "report/issue_sheets.hpp"
#include "report/workbooks.hpp"

namespace py = pybind11;

namespace {

using tallowby::host::arg_dict;
using tallowby::host::arg_list;
using tallowby::host::arg_map;
using tallowby::host::arg_str;
using tallowby::host::Signature;

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
    cls.def(py::init(tallowby::host::init0<Tabwick>("Tabwick.__init__")));
    cls.def(
        "generate_dry_run_report",
        [](py::object self, py::args args, py::kwargs kwargs) {
            static const Signature sig("Tabwick.generate_dry_run_report",
                                       {"update_progressbar", "parser", {"output_dir", py::str(".")}});
            auto a = sig.bind(args, kwargs);
            py::str output_dir = arg_str(a[2], "output_dir");
            return report::generate_dry_run_report(self, a[0], a[1], output_dir);
        },
        "生成dry-run报告");
    cls.def(
        "generate_refactor_report",
        [](py::object self, py::args args, py::kwargs kwargs) {
            static const Signature sig("Tabwick.generate_refactor_report",
                                       {"changes_made", {"output_dir", py::str(".")}});
            auto a = sig.bind(args, kwargs);
            py::str output_dir = arg_str(a[1], "output_dir");
            return report::generate_refactor_report(self, a[0], output_dir);
        },
        "生成重构报告");
    cls.def("_write_variable_issues_sheet", [](Tabwick&, py::args args, py::kwargs kwargs) {
        static const Signature sig("Tabwick._write_variable_issues_sheet",
                                   {"writer", "variables", "sheet_name", "references"});
        auto a = sig.bind(args, kwargs);
        py::list variables = arg_list(a[1], "variables");
        py::str sheet_name = arg_str(a[2], "sheet_name");
        py::dict references = arg_map(a[3], "references");
        report::write_variable_issues_sheet(a[0], variables, sheet_name, references);
    });
    cls.def("_write_type_issues_sheet", [](Tabwick&, py::args args, py::kwargs kwargs) {
        static const Signature sig("Tabwick._write_type_issues_sheet", {"writer", "types", "sheet_name"});
        auto a = sig.bind(args, kwargs);
        py::list types = arg_list(a[1], "types");
        py::str sheet_name = arg_str(a[2], "sheet_name");
        report::write_type_issues_sheet(a[0], types, sheet_name);
    });
    cls.def("_write_function_issues_sheet", [](Tabwick&, py::args args, py::kwargs kwargs) {
        static const Signature sig("Tabwick._write_function_issues_sheet", {"writer", "functions", "sheet_name"});
        auto a = sig.bind(args, kwargs);
        py::dict functions = arg_map(a[1], "functions");
        py::str sheet_name = arg_str(a[2], "sheet_name");
        report::write_function_issues_sheet(a[0], functions, sheet_name);
    });
    cls.def("_write_summary_sheet", [](Tabwick&, py::args args, py::kwargs kwargs) {
        static const Signature sig("Tabwick._write_summary_sheet", {"writer", "all_issues", "parser"});
        auto a = sig.bind(args, kwargs);
        py::dict all_issues = arg_dict(a[1], "all_issues");
        report::write_summary_sheet(a[0], all_issues, a[2]);
    });
    cls.def("_write_manual_check_sheet", [](Tabwick&, py::args args, py::kwargs kwargs) {
        static const Signature sig("Tabwick._write_manual_check_sheet", {"writer", "parser", "sheet_name"});
        auto a = sig.bind(args, kwargs);
        py::str sheet_name = arg_str(a[2], "sheet_name");
        report::write_manual_check_sheet(a[0], a[1], sheet_name);
    });
    // The two refactor sheet writers take the same parameters.
    using RefactorSheet = void (*)(py::handle, py::handle, const py::str&);
    const std::pair<const char*, RefactorSheet> refactor_sheets[] = {
        {"_write_refactor_changes_sheet", report::write_refactor_changes_sheet},
        {"_write_refactor_summary_sheet", report::write_refactor_summary_sheet}};
    for (const auto& [name, write] : refactor_sheets) {
        auto sig = std::make_shared<const Signature>(std::string("Tabwick.") + name,
                                                     std::initializer_list<Signature::Param>{"writer", "changes_made",
                                                                                             "sheet_name"});
        cls.def(name, [sig, write = write](Tabwick&, py::args args, py::kwargs kwargs) {
            auto a = sig->bind(args, kwargs);
            py::str sheet_name = arg_str(a[2], "sheet_name");
            write(a[0], a[1], sheet_name);
        });
    }
}
