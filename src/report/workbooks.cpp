#include "report/workbooks.hpp"

#include <string>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/clock.hpp"
#include "host/console.hpp"
#include "host/gc_pause.hpp"
#include "host/with_scope.hpp"
#include "report/sheet_table.hpp"

namespace tallowby::report {

namespace {

// output_dir joined with prefix + local time stamp + ".xlsx".
py::str report_path(const py::str& output_dir, const char* prefix) {
    py::str name = py::str(prefix + std::string(host::local_time_text("%Y%m%d_%H%M%S")) + ".xlsx");
    py::object join = py::module_::import("os").attr("path").attr("join");
    return join(output_dir, name);
}

// Like report_path, but never the name of a file already there: a workbook
// started within the same second goes to "<name>_2.xlsx", "<name>_3.xlsx", ...
py::str new_report_path(const py::str& output_dir, const char* prefix) {
    const std::string stamp = prefix + std::string(host::local_time_text("%Y%m%d_%H%M%S"));
    py::object os_path = py::module_::import("os").attr("path");
    for (int n = 1;; ++n) {
        py::str path = os_path.attr("join")(output_dir, stamp + (n == 1 ? "" : "_" + std::to_string(n)) + ".xlsx");
        if (!os_path.attr("lexists")(path).cast<bool>()) return path;
    }
}

// Runs `body` on the workbook writer at `path` inside its scope, which saves
// the file when it is left. A report that fails before its first sheet
// leaves no file: the writer still saves and closes cleanly (XlsxWriter gives
// a workbook without sheets one of its own), the file is removed, and the
// original failure reaches the caller.
template <typename Body>
void write_workbook(const py::str& path, Body&& body) {
    host::WithScope scope(open_table_writer(path));
    bool abandoned = false;
    try {
        scope.run([&](const py::object& book) {
            try {
                body(book);
            } catch (py::error_already_set&) {
                abandoned = sheet_count(book) == 0;
                throw;
            }
        });
    } catch (py::error_already_set&) {
        if (abandoned) {
            py::object os = py::module_::import("os");
            if (os.attr("path").attr("lexists")(path).cast<bool>()) os.attr("remove")(path);
        }
        throw;
    }
}

py::str concat(const char* head, const py::str& tail) {
    return host::steal<py::str>(PyUnicode_Concat(py::str(head).ptr(), tail.ptr()));
}

// The value of a change record's key, the empty text when it lacks the key.
py::object record_value(py::handle record, py::handle key) {
    static PyObject* empty = py::str("").release().ptr();
    if (PyDict_CheckExact(record.ptr())) {
        PyObject* v = PyDict_GetItemWithError(record.ptr(), key.ptr());
        if (v) return py::reinterpret_borrow<py::object>(v);
        host::check_error();
        return py::reinterpret_borrow<py::object>(empty);
    }
    return record.attr("get")(key, py::handle(empty));
}

}  // namespace

py::str generate_dry_run_report(py::handle writer, py::handle update_progressbar, py::handle parser,
                                const py::str& output_dir) {
    // The library makes millions of small objects while the parser's model
    // is alive: the collector would walk that model again and again.
    const host::GcPause no_collection;
    py::str path = report_path(output_dir, "Quillon_Report_");
    host::print_line(concat("正在生成dry-run报告: ", path));
    py::object all_issues = parser.attr("get_all_variable_issues")();
    update_progressbar(10);
    write_workbook(path, [&](const py::object& book) {
        const struct {
            const char* key;
            const char* sheet;
        } variable_sheets[] = {{"global_variables", "Global Variables"},
                               {"module_variables", "Module Variables"},
                               {"local_variables", "Local Variables"}};
        int progress = 20;
        for (const auto& s : variable_sheets) {
            writer.attr("_write_variable_issues_sheet")(book, all_issues[py::str(s.key)], s.sheet,
                                                        parser.attr("variable_references"));
            update_progressbar(progress);
            progress += 10;
        }
        writer.attr("_write_type_issues_sheet")(book, all_issues[py::str("type_definitions")], "Type Definitions");
        update_progressbar(50);
        writer.attr("_write_type_issues_sheet")(book, all_issues[py::str("enum_definitions")], "Enum Definitions");
        update_progressbar(60);
        writer.attr("_write_function_issues_sheet")(book, parser.attr("functions"), "Function Parameters");
        update_progressbar(70);
        writer.attr("_write_summary_sheet")(book, all_issues, parser);
        update_progressbar(80);
        writer.attr("_write_manual_check_sheet")(book, parser, "Manual Check Required");
        update_progressbar(90);
    });
    host::print_line(concat("Dry-run报告已生成: ", path));
    return path;
}

py::str generate_refactor_report(py::handle writer, py::handle changes_made, const py::str& output_dir) {
    const host::GcPause no_collection;
    py::str path = new_report_path(output_dir, "VBT_Refactor_Report_");
    host::print_line(concat("正在生成重构报告: ", path));
    write_workbook(path, [&](const py::object& book) {
        writer.attr("_write_refactor_changes_sheet")(book, changes_made, "Refactor Changes");
        writer.attr("_write_refactor_summary_sheet")(book, changes_made, "Refactor Summary");
    });
    host::print_line(concat("重构报告已生成: ", path));
    return path;
}

void write_refactor_changes_sheet(py::handle writer, py::handle changes_made, const py::str& sheet_name) {
    static const char* const keys[] = {"file_path", "line_number", "original_name", "new_name", "description",
                                       "timestamp"};
    SheetTable table({"修改类型", "文件路径", "行号", "原名称", "新名称", "修改描述", "修改时间"});
    for (py::handle item : py::iter(changes_made.attr("items")())) {
        py::object change_type = item[py::int_(0)];
        for (py::handle record : py::iter(item[py::int_(1)])) {
            py::object v[6];
            for (int i = 0; i < 6; ++i) v[i] = record_value(record, py::str(keys[i]));
            table.add({change_type, v[0], v[1], v[2], v[3], v[4], v[5]});
        }
    }
    if (table.empty()) return;
    table.write(writer, sheet_name);
}

void write_refactor_summary_sheet(py::handle writer, py::handle changes_made, const py::str& sheet_name) {
    SheetTable table({"修改类型", "修改数量"});
    py::object total = py::int_(0);
    for (py::handle item : py::iter(changes_made.attr("items")())) {
        const Py_ssize_t n = host::size(py::object(item[py::int_(1)]));
        py::int_ count(n);
        total = total + count;
        table.add({item[py::int_(0)], count});
    }
    table.add({py::str("总计"), total});
    table.write(writer, sheet_name);
}

}  // namespace tallowby::report
