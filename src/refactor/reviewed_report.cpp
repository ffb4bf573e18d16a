#include "refactor/reviewed_report.hpp"

#include <string>

#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"

namespace tallowby::refactor {

namespace {

using host::truthy;

using host::concat;
using host::from_utf8;

constexpr Py_ssize_t kListedChanges = 10;

struct VariableSheet {
    const char* name;
    ChangeKind kind;
};
constexpr VariableSheet kSheets[] = {{"Global Variables", ChangeKind::kGlobal},
                                     {"Module Variables", ChangeKind::kModule},
                                     {"Local Variables", ChangeKind::kLocal}};

bool contains(py::handle text, py::handle part) {
    return host::holds(text, part);
}

// The confirm column: the first heading that holds "应用" or, lower-cased,
// "apply". Every heading is put to the test, so a heading that is not text
// fails the sheet wherever it stands.
py::object confirm_column(py::handle headings) {
    static PyObject* apply_zh = from_utf8("应用").release().ptr();
    static PyObject* apply_en = py::str("apply").release().ptr();
    py::object found;
    for (py::handle h : py::iter(headings)) {
        const bool kept = contains(h, apply_zh) || contains(h.attr("lower")(), apply_en);
        if (kept && !found) found = py::reinterpret_borrow<py::object>(h);
    }
    return found;
}

// A cell counts as empty when the column is missing, the cell holds no value,
// or it holds the empty text.
bool is_empty_cell(py::handle pd, py::handle value) {
    if (value.is_none()) return true;
    if (PyUnicode_Check(value.ptr()) && PyUnicode_GET_LENGTH(value.ptr()) == 0) return true;
    return !truthy(pd.attr("notna")(value));
}

// The column `wanted` when the sheet has it, else the dry-run report's own
// column `written` (which the report writer names differently).
py::str column_of(py::handle headings, py::handle wanted, py::handle written) {
    const bool has = host::holds(headings, wanted);
    return py::reinterpret_borrow<py::str>(has ? wanted : written);
}

// Reads one variable sheet and records its confirmed rows. A confirmed row
// without a name or a new name is printed and makes the answer false.
void read_sheet(py::handle self, Refactorer& state, py::handle pd, const py::str& excel_path, const VariableSheet& sheet,
                py::list& summary, bool& failed) {
    // Cells as the workbook stores them: text stays text, whatever it says.
    const py::handle object_type(reinterpret_cast<PyObject*>(&PyBaseObject_Type));
    py::object table = pd.attr("read_excel")(excel_path, py::arg("sheet_name") = sheet.name,
                                             py::arg("dtype") = object_type);
    if (truthy(table.attr("empty"))) return;
    py::object headings = table.attr("columns");
    py::object confirm = confirm_column(headings);
    if (!confirm) return;

    PyObject* marked = host::check(PyObject_RichCompare(py::object(table[confirm]).ptr(), Py_True, Py_EQ));
    py::object selected = table[py::reinterpret_steal<py::object>(marked)];
    const py::str old_key = from_utf8("变量名"), path_key = from_utf8("文件路径"), line_key = from_utf8("行号");
    const py::str new_key = column_of(headings, from_utf8("正确命名"), from_utf8("建议名称"));
    const py::str function_key = column_of(headings, from_utf8("函数名"), from_utf8("所在函数"));
    const py::str label = from_utf8(change_label(sheet.kind));
    for (py::handle entry : py::iter(selected.attr("iterrows")())) {
        py::object row = entry[py::int_(1)];
        py::object old_name = row.attr("get")(old_key);
        py::object new_name = row.attr("get")(new_key);
        if (is_empty_cell(pd, old_name) || is_empty_cell(pd, new_name)) {
            // The sheet's row number: its index counts the rows under the heading from 0.
            py::object number = py::reinterpret_borrow<py::object>(entry[py::int_(0)]) + py::int_(2);
            host::print_parts({py::str(sheet.name), from_utf8(" 第 "), py::str(number),
                               from_utf8(" 行已确认，但缺少变量名或新名称，未应用")});
            failed = true;
            continue;
        }
        py::object file_path = row.attr("get")(path_key, py::str(""));
        PyObject* number = host::check(PyNumber_Long(py::object(row.attr("get")(line_key, py::int_(0))).ptr()));
        py::object line_number = py::reinterpret_steal<py::object>(number);
        py::object function_name = py::str("");
        if (sheet.kind == ChangeKind::kLocal) {
            py::object cell = row.attr("get")(function_key, py::str(""));
            if (!is_empty_cell(pd, cell)) function_name = cell;
        }
        py::str description = describe_change(sheet.kind, old_name, new_name, function_name);
        py::dict record = make_change_record(file_path, line_number, old_name, new_name, description);
        record_change(self, state, sheet.kind, record);
        summary.append(concat({label, py::str(": "), py::str(old_name), py::str(" -> "), py::str(new_name)}));
    }
}

// The names of the workbook's sheets; None when it cannot be opened.
py::object sheet_names(py::handle pd, const py::str& excel_path) {
    try {
        py::object book = pd.attr("ExcelFile")(excel_path);
        py::object names = py::list(book.attr("sheet_names"));
        book.attr("close")();
        return names;
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        return py::none();
    }
}

void list_found(const py::list& summary) {
    const Py_ssize_t n = PyList_GET_SIZE(summary.ptr());
    host::print_parts({from_utf8("从Excel中读取到 "), py::str(py::int_(n)), from_utf8(" 个确认的修改:")});
    for (Py_ssize_t i = 0; i < n && i < kListedChanges; ++i)
        host::print_parts({py::str("  - "), summary[py::int_(i)]});
    if (n > kListedChanges)
        host::print_parts({from_utf8("  ... 以及另外 "), py::str(py::int_(n - kListedChanges)), from_utf8(" 个修改")});
}

}  // namespace

bool apply_changes_from_excel(py::handle self, Refactorer& state, const py::str& excel_path) {
    py::object pd = py::module_::import("tallowby.quillon.quillon").attr("pd");
    if (pd.is_none()) {
        host::print_line("错误: pandas未安装，无法读取Excel文件");
        return false;
    }
    try {
        host::print_parts({from_utf8("正在读取Excel报告: "), excel_path});
        py::list summary;
        bool failed = false;
        py::object names;
        for (const VariableSheet& sheet : kSheets) {
            try {
                read_sheet(self, state, pd, excel_path, sheet, summary, failed);
            } catch (...) {
                py::str message = host::failure_text();
                host::print_parts({from_utf8("读取"), from_utf8(change_label(sheet.kind)), from_utf8("工作表失败: "),
                                   message});
                // A sheet the report writer left out (it had no rows) holds nothing
                // to confirm; any other failure leaves confirmed rows unread.
                if (!names) names = sheet_names(pd, excel_path);
                if (names.is_none() || contains(names, py::str(sheet.name))) failed = true;
            }
        }
        if (PyList_GET_SIZE(summary.ptr()) == 0) {
            host::print_line("未找到任何确认的修改");
            return false;
        }
        list_found(summary);
        state.failed = false;
        apply_changes(self, state);
        return !failed && !state.failed;
    } catch (...) {
        py::str message = host::failure_text();
        host::print_parts({from_utf8("读取Excel文件失败: "), message});
        return false;
    }
}

}  // namespace tallowby::refactor
