#include "report/issue_sheets.hpp"

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/regex.hpp"
#include "report/sheet_table.hpp"

#include <deque>

namespace tallowby::report {

namespace {

using host::truthy;

py::object get(py::handle obj, const char* name) { return obj.attr(name); }

// The value when it is set and not empty, else the empty text.
py::object or_empty(py::object value) {
    return truthy(value) ? value : py::str("");
}

bool equals(py::handle a, const char* text) {
    return host::equal(a, py::str(text));
}

py::str yes_no(py::handle flag) { return py::str(truthy(flag) ? "是" : "否"); }

py::int_ size_of(py::handle obj) {
    return py::int_(host::size(obj));
}

// The values of a map in its order.
py::iterator values_of(py::handle map) { return py::iter(map.attr("values")()); }

// What the references of one name give the variable sheet: how many there
// are per enclosing procedure, in all, and over how many files.
struct NameUses {
    py::dict per_function;
    py::int_ total;
    py::int_ files;
};

class ReferenceCounts {
public:
    explicit ReferenceCounts(py::handle references) : references_(references) {}

    const NameUses& of(py::handle original_name) {
        PyObject* seen = PyDict_GetItemWithError(index_.ptr(), original_name.ptr());
        if (seen) return uses_[PyLong_AsSsize_t(seen)];
        host::check_error();
        NameUses uses;
        py::set files;
        Py_ssize_t total = 0;
        PyObject* refs = PyDict_GetItemWithError(references_.ptr(), original_name.ptr());
        if (!refs) host::check_error();
        if (refs) {
            for (py::handle ref : py::iter(py::handle(refs))) {
                py::object function_name = get(ref, "function_name");
                PyObject* count = PyDict_GetItemWithError(uses.per_function.ptr(), function_name.ptr());
                if (!count) host::check_error();
                Py_ssize_t n = count ? PyLong_AsSsize_t(count) + 1 : 1;
                uses.per_function[function_name] = py::int_(n);
                files.add(get(ref, "file_path"));
                ++total;
            }
        }
        uses.total = py::int_(total);
        uses.files = size_of(files);
        index_[original_name] = py::int_(uses_.size());
        uses_.push_back(std::move(uses));
        return uses_.back();
    }

private:
    py::handle references_;
    py::dict index_;  // name -> position in uses_
    std::deque<NameUses> uses_;  // stable references
};

// One row per manual-check finding.
SheetTable manual_check_table() { return SheetTable({"检查类型", "文件路径", "行号", "问题描述", "建议操作"}); }

}  // namespace

void write_variable_issues_sheet(py::handle writer, const py::list& variables, const py::str& sheet_name,
                                 py::handle references) {
    if (PyList_GET_SIZE(variables.ptr()) == 0) return;
    SheetTable table({"变量名", "建议名称", "问题描述", "作用域", "类型", "是否数组", "文件路径", "行号", "所在函数",
                      "引用次数", "涉及文件数", "是否常量"});
    ReferenceCounts counts(references);
    for (py::handle v : variables) {
        py::object scope = get(get(v, "scope"), "value");
        py::object function_name = get(v, "function_name");
        const NameUses& uses = counts.of(get(v, "original_name"));
        py::object count = uses.total;
        if (equals(scope, "local") && truthy(function_name)) {
            PyObject* n = PyDict_GetItemWithError(uses.per_function.ptr(), function_name.ptr());
            if (!n) host::check_error();
            count = n ? py::reinterpret_borrow<py::object>(n) : py::int_(0);
        }
        table.add({get(v, "name"), or_empty(get(v, "correct_name")), or_empty(get(v, "issue_description")), scope,
                   get(get(v, "var_type"), "value"), yes_no(get(v, "is_array")), get(v, "file_path"),
                   get(v, "line_number"), or_empty(function_name), count, uses.files, yes_no(get(v, "is_const"))});
    }
    table.write(writer, sheet_name);
    table.fit_column_widths(writer, sheet_name);
}

void write_type_issues_sheet(py::handle writer, const py::list& types, const py::str& sheet_name) {
    if (PyList_GET_SIZE(types.ptr()) == 0) return;
    SheetTable table({"名称", "建议名称", "问题描述", "类型", "作用域", "引用次数", "涉及文件数", "文件路径", "行号"});
    for (py::handle t : types) {
        table.add({get(t, "name"), or_empty(get(t, "correct_name")), or_empty(get(t, "issue_description")),
                   get(t, "info_type"), get(t, "scope").attr("capitalize")(), get(t, "reference_count"),
                   size_of(get(t, "referenced_files")), get(t, "file_path"), get(t, "line_number")});
    }
    table.write(writer, sheet_name);
    table.fit_column_widths(writer, sheet_name);
}

void write_function_issues_sheet(py::handle writer, py::handle functions, const py::str& sheet_name) {
    static const host::HostPattern parameter_name("参数\\s+'([^']+)':");
    static const host::HostPattern suggestion("建议改为:\\s*'([^']*)'");
    static PyObject* marker = py::str("参数").release().ptr();
    static PyObject* suffix = py::str(" (建议改为:").release().ptr();
    SheetTable table({"参数名", "建议名称", "问题描述", "函数名", "函数类型", "类型", "文件路径", "行号", "所在函数"});
    py::str kind("函数参数");
    for (py::handle f : values_of(functions)) {
        py::object issues = get(f, "issues");
        for (py::handle text : py::iter(issues)) {
            const bool has_marker = host::holds(text, marker);
            if (!has_marker) continue;
            py::object name_match = parameter_name.search(text);
            py::object name = name_match.is_none() ? py::str("Unknown") : name_match.attr("group")(1);
            py::object suggested_match = suggestion.search(text);
            py::object suggested = suggested_match.is_none() ? py::str("") : suggested_match.attr("group")(1);
            py::object description = py::reinterpret_borrow<py::object>(text);
            Py_ssize_t cut = PyUnicode_Find(text.ptr(), suffix, 0, PY_SSIZE_T_MAX, 1);
            if (cut == -2) host::raise_error();
            if (cut >= 0) description = text[py::slice(0, cut, 1)];
            py::object function_name = get(f, "name");
            table.add({name, suggested, description, function_name, get(get(f, "func_type"), "value"), kind,
                       get(f, "file_path"), get(f, "start_line"), function_name});
        }
    }
    if (table.empty()) return;
    table.write(writer, sheet_name);
    table.fit_column_widths(writer, sheet_name);
}

void write_summary_sheet(py::handle writer, const py::dict& all_issues, py::handle parser) {
    auto issues_of = [&](const char* key) { return size_of(all_issues[py::str(key)]); };
    auto total_length = [](py::handle map) {
        py::object total = py::int_(0);
        for (py::handle list : values_of(map)) total = total + size_of(list);
        return total;
    };
    py::object all_found = py::int_(0);
    for (py::handle list : values_of(all_issues)) all_found = all_found + size_of(list);
    SheetTable table({"检查项目", "发现问题数", "总数量"});
    table.add({py::str("全局变量"), issues_of("global_variables"), size_of(get(parser, "global_variables"))});
    table.add({py::str("模块变量"), issues_of("module_variables"), total_length(get(parser, "module_variables"))});
    table.add({py::str("局部变量"), issues_of("local_variables"), total_length(get(parser, "local_variables"))});
    table.add({py::str("Type定义"), issues_of("type_definitions"), size_of(get(parser, "types"))});
    table.add({py::str("Enum定义"), issues_of("enum_definitions"), size_of(get(parser, "enums"))});
    table.add({py::str("总计"), all_found, py::str("N/A")});
    table.write(writer, py::str("Summary"));
}

void write_manual_check_sheet(py::handle writer, py::handle parser, const py::str& sheet_name) {
    SheetTable table = manual_check_table();
    py::object globals = get(parser, "global_variables");
    py::str variant_kind("变量类型判断"), variant_action("确认变量类型，如有需要请手动更改变量声明");
    for (py::handle v : py::iter(globals)) {
        if (!equals(get(get(v, "var_type"), "value"), "Variant") || truthy(get(v, "is_const"))) continue;
        py::object name = get(v, "name");
        if (equals(name, "site")) continue;
        py::str text = py::str("变量 '") + py::str(name) + py::str("' 为Variant类型，请确认是否为正确类型");
        table.add({variant_kind, get(v, "file_path"), get(v, "line_number"), text, variant_action});
    }
    py::set seen;
    py::str clash_kind("变量名冲突"), clash_action("检查是否存在命名冲突，考虑重命名");
    for (py::handle v : py::iter(globals)) {
        py::object name = get(v, "name");
        int known = host::check(PySet_Contains(seen.ptr(), name.ptr()));
        if (!known) {
            seen.add(name);
            continue;
        }
        py::str text = py::str("变量名 '") + py::str(name) + py::str("' 可能与其他变量冲突");
        table.add({clash_kind, get(v, "file_path"), get(v, "line_number"), text, clash_action});
    }
    py::str length_kind("函数长度"), length_action("考虑将函数分解为更小的函数");
    py::int_ one(1), limit(60);
    for (py::handle f : values_of(get(parser, "functions"))) {
        py::object start = get(f, "start_line");
        py::object n = get(f, "end_line") - start + one;
        if (!(n > limit)) continue;
        py::str text = py::str("函数 '") + py::str(get(f, "name")) + py::str("' 长度为 ") + py::str(n) +
                       py::str(" 行，超过建议的60行");
        table.add({length_kind, get(f, "file_path"), start, text, length_action});
    }
    if (table.empty()) return;
    table.write(writer, sheet_name);
    table.fit_column_widths(writer, sheet_name);
}

}  // namespace tallowby::report
