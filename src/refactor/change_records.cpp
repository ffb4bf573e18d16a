#include "refactor/change_records.hpp"

#include "host/checked.hpp"
#include "host/clock.hpp"
#include "host/console.hpp"
#include "host/gc_pause.hpp"
#include "host/objects.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"
#include "refactor/renaming.hpp"
#include "vba/records.hpp"

#include <ctime>

namespace tallowby::refactor {

namespace {

using host::truthy;
using host::equal;

using host::from_utf8;

struct KindTexts {
    const char* type;
    const char* label;
    const char* members;  // the parser's member that holds the records
    bool nested;          // a map of lists rather than a list or a map of records
};

const KindTexts& texts_of(ChangeKind kind) {
    static const KindTexts table[kChangeKinds] = {
        {"global_variable", "全局变量", "global_variables", false},
        {"module_variable", "模块变量", "module_variables", true},
        {"local_variable", "局部变量", "local_variables", true},
        {"type_definition", "Type定义", "types", false},
        {"enum_definition", "Enum定义", "enums", false},
    };
    return table[static_cast<size_t>(kind)];
}

// The text form of a value, as str(value) gives it.
py::str text_of(py::handle v) { return py::str(v); }

// Records one rename of a model record whose suggestion differs from its name.
// A field of a model record: read from its slot when the record is of the
// model's own class, else through its attribute.
py::object record_field(py::handle record, const char* name, int variable_index, int type_index) {
    if (Py_IS_TYPE(record.ptr(), vba::record_type(vba::RecordKind::Variable))) {
        PyObject* v = vba::field(record, variable_index);
        if (v) return py::reinterpret_borrow<py::object>(v);
    } else if (Py_IS_TYPE(record.ptr(), vba::record_type(vba::RecordKind::Type)) && type_index >= 0) {
        PyObject* v = vba::field(record, type_index);
        if (v) return py::reinterpret_borrow<py::object>(v);
    }
    return record.attr(name);
}

const host::OwnOperation add_step("_add_change", refactorer_class);

// Records one rename of a model record whose suggestion differs from its
// name, through the refactorer's _add_change.
void collect_one(py::handle self, Refactorer& state, ChangeKind kind, py::handle record) {
    using vba::TypeField;
    using vba::VarField;
    py::object correct = record_field(record, "correct_name", VarField::correct_name, TypeField::correct_name);
    if (correct.is_none() || !truthy(correct)) return;
    py::object name = record_field(record, "name", VarField::name, TypeField::name);
    if (equal(correct, name)) return;
    py::object function_name =
        kind == ChangeKind::kLocal ? record_field(record, "function_name", VarField::function_name, -1) : py::none();
    py::str description = describe_change(kind, name, correct, function_name);
    py::dict change = make_change_record(record_field(record, "file_path", VarField::file_path, TypeField::file_path),
                                         record_field(record, "line_number", VarField::line_number,
                                                      TypeField::line_number),
                                         name, correct, description);
    record_change(self, state, kind, change);
}

// The timestamp of a change record; the text is made once per second.
py::str change_time() {
    static std::time_t made_at = 0;
    static PyObject* text = nullptr;
    const std::time_t now = std::time(nullptr);
    if (!text || now != made_at) {
        py::str fresh = host::local_time_text("%Y-%m-%d %H:%M:%S");
        Py_XDECREF(text);
        text = fresh.release().ptr();
        made_at = now;
    }
    return py::reinterpret_borrow<py::str>(text);
}

}  // namespace

const char* change_type(ChangeKind kind) { return texts_of(kind).type; }
const char* change_label(ChangeKind kind) { return texts_of(kind).label; }

py::object new_change_map() {
    py::object defaultdict = py::module_::import("collections").attr("defaultdict");
    return defaultdict(py::handle(reinterpret_cast<PyObject*>(&PyList_Type)));
}

py::str describe_change(ChangeKind kind, py::handle old_name, py::handle new_name, py::handle function_name) {
    static PyObject* quote_open = from_utf8(" '").release().ptr();
    static PyObject* renamed = from_utf8("' 重命名为 '").release().ptr();
    static PyObject* in_function = from_utf8("' 在函数 '").release().ptr();
    static PyObject* renamed_in = from_utf8("' 中重命名为 '").release().ptr();
    static PyObject* quote_close = from_utf8("'").release().ptr();
    py::str label = from_utf8(change_label(kind));
    if (kind == ChangeKind::kLocal) {
        return host::concat({label, quote_open, text_of(old_name), in_function, text_of(function_name), renamed_in,
                             text_of(new_name), quote_close});
    }
    return host::concat({label, quote_open, text_of(old_name), renamed, text_of(new_name), quote_close});
}

py::dict make_change_record(py::handle file_path, py::handle line_number, py::handle original_name,
                            py::handle new_name, py::handle description) {
    py::dict record;
    record["file_path"] = file_path;
    record["line_number"] = line_number;
    record["original_name"] = original_name;
    record["new_name"] = new_name;
    record["description"] = description;
    record["timestamp"] = change_time();
    return record;
}

py::handle refactorer_class() {
    static PyObject* cls = py::type::of<Refactorer>().release().ptr();
    return cls;
}

void record_change(py::handle self, Refactorer& state, ChangeKind kind, const py::dict& change) {
    const py::str type(change_type(kind));
    add_step(self, [&] { add_change(state.changes_made, type, change); }, type, change);
}

void apply_changes(py::handle self, Refactorer& state) {
    static const host::OwnOperation apply_step("_apply_all_changes", refactorer_class);
    apply_step(self, [&] { apply_all_changes(self, state); });
}

void add_change(py::handle changes_made, py::handle type, py::handle record) {
    PyObject* list = host::check(PyObject_GetItem(changes_made.ptr(), type.ptr()));
    py::object held = py::reinterpret_steal<py::object>(list);
    held.attr("append")(record);
}

void collect_suggested_renames(py::handle self, Refactorer& state, ChangeKind kind) {
    const KindTexts& t = texts_of(kind);
    py::object members = state.parser.attr(t.members);
    if (kind == ChangeKind::kGlobal) {
        for (py::handle record : py::iter(members)) collect_one(self, state, kind, record);
        return;
    }
    for (py::handle entry : py::iter(members.attr("values")())) {
        if (!t.nested) {
            collect_one(self, state, kind, entry);
            continue;
        }
        for (py::handle record : py::iter(entry)) collect_one(self, state, kind, record);
    }
}

bool refactor_all_issues(py::handle self, Refactorer& state) {
    // Tens of thousands of change records, no cycles: the collector would
    // only walk the parser's model again and again.
    const host::GcPause no_collection;
    host::print_line("开始自动重构...");
    static const host::OwnOperation collectors[] = {
        {"_refactor_global_variables", refactorer_class}, {"_refactor_module_variables", refactorer_class},
        {"_refactor_local_variables", refactorer_class},  {"_refactor_type_definitions", refactorer_class},
        {"_refactor_enum_definitions", refactorer_class}};
    for (size_t k = 0; k < kChangeKinds; ++k) {
        const auto kind = static_cast<ChangeKind>(k);
        collectors[k](self, [&] { collect_suggested_renames(self, state, kind); });
    }
    state.failed = false;
    apply_changes(self, state);
    host::print_line("自动重构完成！");
    return !state.failed;
}

}  // namespace tallowby::refactor
