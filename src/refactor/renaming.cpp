#include "refactor/renaming.hpp"

#include <string>
#include <string_view>
#include <vector>

#include "host/args.hpp"
#include "host/clock.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/text_file.hpp"
#include "vba/line_tests.hpp"

namespace tallowby::refactor {

namespace {

using host::concat;
using host::from_utf8;
using host::StrView;

// Word character at i, the outside of the text counting as none.
bool word_at(const StrView& v, Py_ssize_t i) { return i >= 0 && i < v.size() && host::is_word(v[i]); }
bool boundary_at(const StrView& v, Py_ssize_t i) { return word_at(v, i - 1) != word_at(v, i); }

py::str text_argument(py::handle value, const char* name) {
    if (!value || !PyUnicode_Check(value.ptr())) host::raise_incorrect_type(value, name, "str");
    return py::reinterpret_borrow<py::str>(value);
}

py::object item(py::handle map, const char* key) {
    PyObject* v = PyObject_GetItem(map.ptr(), py::str(key).ptr());
    if (!v) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(v);
}

// Names the reference pass never renames (exact case).
const py::frozenset& vba_keywords() {
    static const py::frozenset* words = [] {
        py::list names;
        for (const char* w : {"If", "Then", "Else", "ElseIf", "End", "Select", "Case", "For", "To", "Next",
                              "While", "Wend", "Do", "Loop", "Until", "Exit", "Goto", "On", "Error", "Resume",
                              "With", "Function", "Sub", "Property", "Get", "Let", "Set", "Public", "Private",
                              "Friend", "Global", "Dim", "Const", "As", "ByVal", "ByRef", "Optional",
                              "ParamArray", "Type", "Enum", "Nothing", "True", "False", "Me"})
            names.append(py::str(w));
        return new py::frozenset(names);
    }();
    return *words;
}

// The names (as declared and as written) of the procedures of one module.
py::set procedure_names(Refactorer& state, const py::str& file_path) {
    py::set names;
    for (py::handle f : py::iter(state.parser.attr("functions").attr("values")())) {
        py::object path = f.attr("file_path");
        const int same = PyObject_RichCompareBool(path.ptr(), file_path.ptr(), Py_EQ);
        if (same < 0) throw py::error_already_set();
        if (!same) continue;
        names.add(f.attr("name"));
        names.add(f.attr("original_name"));
    }
    return names;
}

bool contains(py::handle set, py::handle key) {
    const int r = PySet_Contains(set.ptr(), key.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

// The lines that the reference pass leaves as they are, tested on the
// stripped text.
bool left_alone(const StrView& stripped) {
    return is_function_header(stripped) || is_declaration(stripped) || stripped.starts_with(0, "Type ") ||
           stripped.starts_with(0, "Enum ") || stripped.starts_with(0, "End Function") ||
           stripped.starts_with(0, "End Sub");
}

// The backup copy of a module: the text read strictly as UTF-8 (line ends
// read as line feeds) written to "<module>.backup_<time stamp>". A backup of
// that name already there (one made within the same second) is kept: the
// new copy then goes to the first free "<name>_2", "<name>_3", ...
py::str back_up(const py::str& file_path) {
    py::str text = [&] {
        host::TextFile module(file_path, "utf-8");
        py::str t = module.read();
        module.close();
        return t;
    }();
    PyObject* encoded = PyUnicode_AsUTF8String(text.ptr());
    if (!encoded) throw py::error_already_set();
    py::object data = py::reinterpret_steal<py::object>(encoded);

    const py::str base = concat({file_path, py::str(".backup_"), host::local_time_text("%Y%m%d_%H%M%S")});
    for (int n = 1;; ++n) {
        py::str backup = n == 1 ? base : concat(base, py::str("_" + std::to_string(n)));
        try {
            host::write_bytes(backup, data, "xb");
            return backup;
        } catch (py::error_already_set& e) {
            if (e.matches(PyExc_FileExistsError)) continue;
            // A copy that could not be completed is no backup: take it away.
            if (host::path_exists(backup)) {
                try {
                    py::module_::import("os").attr("remove")(backup);
                } catch (py::error_already_set&) {
                }
            }
            throw;
        }
    }
}

// The module's lines joined and written back as UTF-8. The text is encoded
// before the file is opened, so a text that cannot be written leaves the
// module as it was.
void write_module(const py::str& file_path, const py::list& lines) {
    PyObject* joined = PyUnicode_Join(py::str("").ptr(), lines.ptr());
    if (!joined) throw py::error_already_set();
    py::object text = py::reinterpret_steal<py::object>(joined);
    PyObject* encoded = PyUnicode_AsUTF8String(text.ptr());
    if (!encoded) throw py::error_already_set();
    host::write_bytes(file_path, py::reinterpret_steal<py::object>(encoded), "wb");
}

}  // namespace

py::str replace_whole_words(py::handle text, py::handle name, py::handle replacement) {
    const StrView t(text), n(name);
    const Py_ssize_t len = n.size();
    if (len == 0 || len > t.size()) return py::reinterpret_borrow<py::str>(text);
    py::list pieces;
    Py_ssize_t copied = 0, from = 0;
    while (from + len <= t.size()) {
        const Py_ssize_t at = PyUnicode_Find(text.ptr(), name.ptr(), from, t.size(), 1);
        if (at == -2) throw py::error_already_set();
        if (at < 0) break;
        if (boundary_at(t, at) && boundary_at(t, at + len)) {
            if (at > copied) pieces.append(host::substr(text, copied, at));
            pieces.append(replacement);
            copied = from = at + len;
        } else {
            from = at + 1;
        }
    }
    if (copied == 0 && PyList_GET_SIZE(pieces.ptr()) == 0) return py::reinterpret_borrow<py::str>(text);
    if (copied < t.size()) pieces.append(host::substr(text, copied, t.size()));
    PyObject* joined = PyUnicode_Join(py::str("").ptr(), pieces.ptr());
    if (!joined) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(joined);
}

bool is_function_header(const StrView& line) { return vba::is_function_definition(line); }
bool is_declaration(const StrView& line) { return vba::opens_with_declaration_keyword(line); }

void apply_all_changes(py::handle self, Refactorer& state) {
    py::dict file_changes;
    for (py::handle entry : py::iter(state.changes_made.attr("items")())) {
        for (py::handle record : py::iter(entry[py::int_(1)])) {
            py::object path = item(record, "file_path");
            PyObject* list = PyDict_SetDefault(file_changes.ptr(), path.ptr(), py::list().ptr());
            if (!list) throw py::error_already_set();
            if (PyList_Append(list, record.ptr()) < 0) throw py::error_already_set();
        }
    }
    py::object apply = self.attr("_apply_changes_to_file");
    for (auto [path, changes] : file_changes) apply(path, changes);
}

void apply_changes_to_file(py::handle self, Refactorer& state, const py::str& file_path, const py::list& changes) {
    py::object files = state.parser.attr("files");
    const int known = PySequence_Contains(files.ptr(), file_path.ptr());
    if (known < 0) throw py::error_already_set();
    if (!known) return;

    try {
        py::str backup = back_up(file_path);
        host::print_parts({from_utf8("已备份文件: "), backup});
    } catch (...) {
        py::str message = host::failure_text();
        host::print_parts({from_utf8("备份文件失败 "), file_path, py::str(": "), message});
        return;
    }

    PyObject* copy = PySequence_List(py::object(files[file_path]).ptr());
    if (!copy) throw py::error_already_set();
    py::list lines = py::reinterpret_steal<py::list>(copy);

    py::dict mapping;
    for (py::handle record : changes) mapping[item(record, "original_name")] = item(record, "new_name");

    self.attr("_apply_variable_references_to_file")(lines, mapping, file_path);

    // Each record's own declaration line, whatever the line tests say.
    const Py_ssize_t count = PyList_GET_SIZE(lines.ptr());
    for (py::handle record : changes) {
        PyObject* number = PyNumber_Index(item(record, "line_number").ptr());
        if (!number) throw py::error_already_set();
        py::object held = py::reinterpret_steal<py::object>(number);
        const Py_ssize_t line_number = PyNumber_AsSsize_t(number, nullptr);
        if (line_number < 1 || line_number > count) continue;
        py::str old_name = text_argument(item(record, "original_name"), "original_name");
        py::str new_name = text_argument(item(record, "new_name"), "new_name");
        PyObject* line = PyList_GET_ITEM(lines.ptr(), line_number - 1);
        py::str renamed = replace_whole_words(text_argument(line, "line"), old_name, new_name);
        if (renamed.ptr() != line) PyList_SetItem(lines.ptr(), line_number - 1, renamed.release().ptr());
    }

    try {
        write_module(file_path, lines);
        host::print_parts({from_utf8("已修改文件: "), file_path});
        host::print_parts({from_utf8("  - 更新了 "), py::str(py::int_(py::len(mapping))), from_utf8(" 个变量名的所有引用")});
    } catch (...) {
        py::str message = host::failure_text();
        host::print_parts({from_utf8("写入文件失败 "), file_path, py::str(": "), message});
    }
}

void apply_references(Refactorer& state, const py::list& lines, const py::dict& mapping, const py::str& file_path) {
    const py::set procedures = procedure_names(state, file_path);
    // The entries that may rename anything, in mapping order.
    std::vector<std::pair<py::str, py::str>> entries;
    for (auto [old_name, new_name] : mapping) {
        py::str o = text_argument(old_name, "original_name");
        py::str n = text_argument(new_name, "new_name");
        if (contains(vba_keywords(), o) || contains(procedures, o)) continue;
        entries.emplace_back(o, n);
    }
    if (entries.empty()) return;

    // When every old name is a run of word characters, a whole-word
    // occurrence is a maximal word run equal to it: a line none of whose runs
    // is an old name is left as it is without trying each entry on it (no
    // entry fires there, so no new name can bring a later one in).
    py::set old_names;
    bool plain_words = true;
    for (const auto& [o, n] : entries) {
        const StrView v(o);
        for (Py_ssize_t k = 0; k < v.size() && plain_words; ++k) plain_words = host::is_word(v[k]);
        old_names.add(o);
    }
    auto names_a_word_run = [&](PyObject* line, const StrView& v) {
        for (Py_ssize_t k = 0; k < v.size();) {
            if (!host::is_word(v[k])) {
                ++k;
                continue;
            }
            Py_ssize_t end = k + 1;
            while (end < v.size() && host::is_word(v[end])) ++end;
            if (contains(old_names, host::substr(line, k, end))) return true;
            k = end;
        }
        return false;
    };

    const Py_ssize_t count = PyList_GET_SIZE(lines.ptr());
    for (Py_ssize_t i = 0; i < count; ++i) {
        PyObject* line = PyList_GET_ITEM(lines.ptr(), i);
        const StrView whole(text_argument(line, "line"));
        const auto [a, b] = host::strip_bounds(whole);
        if (left_alone(StrView(line, a, b))) continue;
        if (plain_words && !names_a_word_run(line, whole)) continue;
        py::str text = py::reinterpret_borrow<py::str>(line);
        for (const auto& [o, n] : entries) text = replace_whole_words(text, o, n);
        if (text.ptr() != line) PyList_SetItem(lines.ptr(), i, text.release().ptr());
    }
}

}  // namespace tallowby::refactor
