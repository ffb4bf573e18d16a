#include "vba/references.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/gc_pause.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"
#include "vba/header_match.hpp"
#include "vba/line_tests.hpp"
#include "vba/records.hpp"
#include "vba/type_uses.hpp"
#include "vba/word_index.hpp"

namespace tallowby::vba {

namespace {

using host::StrView;

void append_to(py::handle list, py::handle item) {
    if (PyList_CheckExact(list.ptr())) {
        host::check(PyList_Append(list.ptr(), item.ptr()));
    } else {
        list.attr("append")(item);
    }
}

// ---------------------------------------------------------------------------
// Variable references

const std::unordered_set<std::string_view>& vba_keywords() {
    static const std::unordered_set<std::string_view> k{
        "If",     "Then",     "Else",    "ElseIf",   "End",       "Select",  "Case",   "For",    "To",
        "Next",   "While",    "Wend",    "Do",       "Loop",      "Until",   "Exit",   "Goto",   "On",
        "Error",  "Resume",   "With",    "Function", "Sub",       "Property", "Get",   "Let",    "Set",
        "Public", "Private",  "Friend",  "Global",   "Dim",       "Const",   "As",     "ByVal",  "ByRef",
        "Optional", "ParamArray", "Type", "Enum",    "Nothing",   "True",    "False",  "Me"};
    return k;
}

// The word pattern's match: [A-Za-z_][A-Za-z0-9_]* spanning a whole run.
bool ascii_identifier(std::string_view s) {
    if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
    for (char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
    }
    return true;
}

// The procedure name of a header line, as the scan reads it.
bool header_name(const StrView& v, Py_ssize_t& begin, Py_ssize_t& end) {
    HeaderMatch m;
    if (!match_header(v, m)) return false;
    begin = m.name_start;
    end = m.name_end;
    return true;
}

// The words that are references during one pass: keys of all_variables that
// are neither keywords nor procedure names. Built at the first line that is
// scanned, so that the procedure names are taken when a line is scanned.
class ReferenceWords {
public:
    struct Entry {
        py::object var_name;     // the str recorded as var_name and used as key
        py::object list;         // its list in variable_references, once looked up
        bool procedure = false;  // also a procedure's name: no reference
        int slot = -1;           // its place among the lists of held-back appends
        bool made_list = false;  // its list was made by this pass (and is seen by nobody else)
    };

    // The words of the keys of `all_variables`.
    ReferenceWords(ModuleParser& parser, const py::dict& all_variables)
        : parser_(parser), all_variables_(all_variables) {}

    // The words of the names of the variable records, which are all plain
    // VariableInfo records with str names (see plain_variable_records): the
    // same words as the keys of the map that build_all_variables makes,
    // without making it. Each text keeps the first str object that has it,
    // as the map's keys do.
    explicit ReferenceWords(ModuleParser& parser) : parser_(parser), from_records_(true) {
        auto enter = [&](PyObject* record) {
            for (int index : {VarField::original_name, VarField::name}) {
                PyObject* key = field(record, index);
                if (!PyUnicode_IS_ASCII(key)) continue;
                std::string_view text(static_cast<const char*>(PyUnicode_DATA(key)),
                                      static_cast<size_t>(PyUnicode_GET_LENGTH(key)));
                const uint64_t hash = word_hash(text);
                if (words_.find(text, hash) || rejected_.find(text, hash)) continue;
                if (!ascii_identifier(text) || vba_keywords().count(text))
                    rejected_.add(text, true);
                else
                    words_.add(text, Entry{py::reinterpret_borrow<py::object>(key), py::object()});
            }
        };
        auto enter_list = [&](PyObject* list) {
            for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) enter(PyList_GET_ITEM(list, i));
        };
        enter_list(parser.global_variables.ptr());
        for (const py::dict* map : {&parser.module_variables, &parser.local_variables}) {
            PyObject *key, *value;
            Py_ssize_t pos = 0;
            while (PyDict_Next(map->ptr(), &pos, &key, &value)) enter_list(value);
        }
    }

    Entry* find(std::string_view word, uint64_t hash) {
        if (!built_) build();
        if (Entry* found = words_.find(word, hash)) return found->procedure ? nullptr : found;
        if (!host_lookup_) return nullptr;
        return decide_by_host(word);
    }

private:
    void build() {
        py::set names;
        for (auto item : parser_.functions) {
            py::handle info = item.second;
            py::object name = attr_of(info, RecordKind::Function, FuncField::name, "name");
            host::check(PySet_Add(names.ptr(), name.ptr()));
            py::object original = attr_of(info, RecordKind::Function, FuncField::original_name, "original_name");
            host::check(PySet_Add(names.ptr(), original.ptr()));
        }
        function_names_ = names;

        if (from_records_) {
            words_.for_each([&](Entry& entry) {
                const int is_procedure = host::check(PySet_Contains(function_names_.ptr(), entry.var_name.ptr()));
                entry.procedure = is_procedure != 0;
            });
            built_ = true;
            return;
        }

        PyObject *key, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(all_variables_.ptr(), &pos, &key, &value)) {
            if (!PyUnicode_CheckExact(key)) {
                // A name a caller set to some other object: words are then
                // also decided by the host's own look-ups.
                host_lookup_ = true;
                continue;
            }
            if (!PyUnicode_IS_ASCII(key)) continue;
            std::string_view text(static_cast<const char*>(PyUnicode_DATA(key)),
                                  static_cast<size_t>(PyUnicode_GET_LENGTH(key)));
            if (!ascii_identifier(text) || vba_keywords().count(text)) continue;
            const int is_procedure = host::check(PySet_Contains(function_names_.ptr(), key));
            if (is_procedure) continue;
            words_.add(text, Entry{py::reinterpret_borrow<py::object>(key), py::object()});
        }
        built_ = true;
    }

    Entry* decide_by_host(std::string_view word) {
        if (not_words_.count(word) || vba_keywords().count(word)) return nullptr;
        py::str w(word.data(), word.size());
        const int is_procedure = host::check(PySet_Contains(function_names_.ptr(), w.ptr()));
        const int is_variable = host::check(is_procedure ? 0 : PyDict_Contains(all_variables_.ptr(), w.ptr()));
        if (!is_variable) {
            not_words_.emplace(word);
            return nullptr;
        }
        return words_.add(word, Entry{w, py::object()});
    }

    ModuleParser& parser_;
    py::dict all_variables_;
    bool from_records_ = false;
    py::set function_names_;
    bool built_ = false;
    bool host_lookup_ = false;
    WordTable<Entry> words_;
    WordTable<bool> rejected_;
    TextSet not_words_;
};


// The first character of a stripped line and what it allows.
struct LineStart {
    explicit LineStart(const StrView& v)
        : first(v.size() > 0 ? v[0] : 0), any(v.kind() != PyUnicode_1BYTE_KIND), lower(first | 0x20) {}
    // Public, Private, Friend, Static, Function, Sub, Property
    bool may_open_procedure() const { return any || lower == 'p' || lower == 'f' || lower == 's'; }
    // Public, Private, Global, Dim, Const, Static
    bool may_declare() const {
        return any || lower == 'p' || lower == 'g' || lower == 'd' || lower == 'c' || lower == 's';
    }
    // Public, Private, Type, Enum
    bool may_open_definition() const { return any || lower == 'p' || lower == 't' || lower == 'e'; }

    Py_UCS4 first;
    bool any;  // not a one-byte text: every test runs
    Py_UCS4 lower;
};

class ReferenceScan {
public:
    ReferenceScan(ModuleParser& parser, const py::dict& all_variables)
        : parser_(parser), words_(parser, all_variables) {}
    // Words from the variable records themselves (see ReferenceWords).
    explicit ReferenceScan(ModuleParser& parser) : parser_(parser), words_(parser) {}

    // The references of one file. With `types`, the Type and Enum uses of
    // its lines are counted in the same scan (every line is then an exact str).
    void file(const py::str& file_path, const py::list& lines, TypeCounter* types = nullptr) {
        py::object current = py::none();
        bool skip_continued = false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lines.ptr()); ++i) {
            py::object raw = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(lines.ptr(), i));
            // The line tests look at the stripped part of an exact str in
            // place; the stripped text is made only when the line has a
            // reference (it is the references' context).
            py::object stripped;
            Py_ssize_t from = 0, to = 0;
            if (PyUnicode_CheckExact(raw.ptr())) {
                std::tie(from, to) = host::strip_bounds(StrView(raw));
            } else {
                stripped = host::arg_str(raw.attr("strip")(), "line");
                to = PyUnicode_GET_LENGTH(stripped.ptr());
            }
            // (types is only given for exact str lines; the header test may
            // start at the first character that is no white space.)
            const StrView v = stripped ? StrView(stripped) : StrView(raw, from, to);
            // In a one-byte text only ASCII letters match the keywords'
            // letters (the other characters that do are beyond U+00FF): the
            // first character tells which tests can succeed.
            const LineStart start(v);
            TypeCounter* counter =
                types && start.may_open_definition() &&
                        definition_header(StrView(raw, from, PyUnicode_GET_LENGTH(raw.ptr())))
                    ? nullptr
                    : types;
            if (counter) counter->begin_line();
            // Lines without variable references still count their Type and Enum uses.
            auto types_only = [&] {
                if (!counter) return;
                if (counter->by_runs()) {
                    for_each_run(raw.ptr(), [&](const auto* s, Py_ssize_t start, Py_ssize_t end, bool ascii) {
                        const std::string_view text = run_text(s, start, end, ascii, buffer_);
                        counter->run(text, word_hash(text), file_path);
                    });
                }
                counter->end_line(StrView(raw), file_path);
            };
            // The lines that go on a header or a declaration are passed over with it.
            if (skip_continued) {
                skip_continued = continues(v);
                types_only();
                continue;
            }
            if (start.may_open_procedure() && is_function_definition(v)) {
                skip_continued = continues(v);
                Py_ssize_t begin = 0, end = 0;
                if (header_name(v, begin, end)) {
                    current = stripped ? host::substr(stripped, begin, end)
                                       : host::substr(raw, from + begin, from + end);
                }
                types_only();
                continue;
            }
            if (start.first == 'E' && is_procedure_end(v)) {
                current = py::none();
                types_only();
                continue;
            }
            if ((start.may_declare() && is_variable_declaration(v)) ||
                (start.first == 'T' && v.starts_with(0, "Type ")) || (start.first == 'E' && v.starts_with(0, "Enum "))) {
                skip_continued = continues(v);
                types_only();
                continue;
            }
            if (!PyUnicode_CheckExact(raw.ptr())) host::arg_str(raw, "line");
            line(raw, i + 1, file_path, current, stripped, from, to, py::handle(), counter, !stripped);
            if (counter) counter->end_line(StrView(raw), file_path);
        }
    }

    // Records the references of a raw line (an exact str); `context` is its
    // stripped text, or null to take raw[from:to] when the first reference
    // is found. With `pending_context` (only when [from, to) are the line's
    // strip bounds), the references keep the line instead and make their
    // context when it is read.
    void line(py::handle raw, Py_ssize_t line_num, py::handle file_path, py::handle function_name,
              py::object context, Py_ssize_t from = 0, Py_ssize_t to = 0, py::handle line_num_obj = py::handle(),
              TypeCounter* types = nullptr, bool pending_context = false) {
        py::object number = py::reinterpret_borrow<py::object>(line_num_obj);
        const bool atomic_function_name = function_name.is_none() || PyUnicode_CheckExact(function_name.ptr());
        const bool type_runs = types && types->by_runs();
        for_each_run(raw.ptr(), [&](const auto* s, Py_ssize_t start, Py_ssize_t end, bool ascii) {
            const bool candidate = ascii && !(s[start] >= '0' && s[start] <= '9');
            if (!candidate && !type_runs) return;
            std::string_view word = run_text(s, start, end, ascii, buffer_);
            const uint64_t hash = word_hash(word);
            if (type_runs) types->run(word, hash, file_path);
            if (!candidate) return;
            ReferenceWords::Entry* entry = words_.find(word, hash);
            if (!entry) return;
            if (!number) number = line_number(line_num);
            if (!entry->list) entry->list = list_for(entry->var_name, entry->made_list);
            if (atomic_function_name && !PyObject_IS_GC(number.ptr())) {
                // The context of a line of the file scan is made only when read.
                if (!context && !pending_context) context = host::substr(raw, from, to);
                PyObject* record = new_reference(entry->var_name.ptr(), file_path.ptr(), number.ptr(),
                                                 function_name.ptr(), context.ptr(), raw.ptr());
                host::check(record);
                if (hold_back_ && PyList_CheckExact(entry->list.ptr())) {
                    if (entry->slot < 0) {
                        entry->slot = static_cast<int>(held_lists_.size());
                        held_lists_.push_back({entry->var_name.ptr(), entry->list.ptr(), entry->made_list});
                    }
                    held_.push_back({entry->slot, record});
                    return;
                }
                if (PyList_CheckExact(entry->list.ptr())) {
                    const int failed = PyList_Append(entry->list.ptr(), record);
                    Py_DECREF(record);
                    host::check(failed);
                } else {
                    append_to(entry->list, py::reinterpret_steal<py::object>(record));
                }
                return;
            }
            if (!context) context = host::substr(raw, from, to);
            py::object record =
                new_record(RecordKind::Reference, {entry->var_name, file_path, number, function_name, context});
            append_to(entry->list, record);
        });
    }

    // From now on the references for exact lists are held back and appended
    // by append_held(), each list grown once to its final size: many lists
    // that grow together cost the host's allocator far more than one array
    // that grows. Only for a pass in which no code of a caller's runs, so
    // that nobody can look at the lists in between.
    void hold_back_appends() { hold_back_ = true; }

    // Appends the held-back references to their lists, in the order found.
    // A list this pass made (still empty, seen by nobody) is replaced in the
    // map, at its place, by one made at its final size; other lists are
    // extended.
    void append_held() {
        std::vector<Py_ssize_t> counts(held_lists_.size(), 0);
        for (const auto& h : held_) ++counts[static_cast<size_t>(h.slot)];
        std::vector<py::object> parts(held_lists_.size());
        for (size_t i = 0; i < parts.size(); ++i) {
            PyObject* part = PyList_New(counts[i]);
            if (!part) {
                drop_held();
                host::raise_error();
            }
            parts[i] = py::reinterpret_steal<py::object>(part);
            counts[i] = 0;
        }
        for (const auto& h : held_) {
            const size_t i = static_cast<size_t>(h.slot);
            PyList_SET_ITEM(parts[i].ptr(), counts[i]++, h.record);  // the part takes the reference
        }
        held_.clear();
        for (size_t i = 0; i < parts.size(); ++i) {
            const HeldList& target = held_lists_[i];
            if (target.made && PyList_GET_SIZE(target.list) == 0) {
                // Only this scan's records, each of atomic values (see
                // line()): kept out of the collector's walks without visiting
                // them again.
                PyObject_GC_UnTrack(parts[i].ptr());
                host::set_item(parser_.variable_references, py::handle(target.name), parts[i]);
                continue;
            }
            const Py_ssize_t end = PyList_GET_SIZE(target.list);
            host::check(PyList_SetSlice(target.list, end, end, parts[i].ptr()));
        }
        held_lists_.clear();
    }

    // Releases held-back references that will not be appended.
    void drop_held() {
        for (const auto& h : held_) Py_DECREF(h.record);
        held_.clear();
    }

    ~ReferenceScan() { drop_held(); }

private:
    struct Held {
        int slot;
        PyObject* record;  // owned until appended
    };
    struct HeldList {
        PyObject* name;  // borrowed: the entry holds its name and list
        PyObject* list;
        bool made;
    };

    // The int of a line number, one object per number for the whole pass.
    const py::object& line_number(Py_ssize_t n) {
        const size_t i = static_cast<size_t>(n);
        if (i >= numbers_.size()) numbers_.resize(std::max(i + 1, numbers_.size() * 2));
        if (!numbers_[i]) numbers_[i] = py::int_(n);
        return numbers_[i];
    }

    // The list of `name` in variable_references, stored there when missing.
    py::object list_for(const py::object& name, bool& made) {
        PyObject* refs = parser_.variable_references.ptr();
        PyObject* existing = PyDict_GetItemWithError(refs, name.ptr());
        if (existing) return py::reinterpret_borrow<py::object>(existing);
        host::check_error();
        py::list fresh;
        host::set_item(parser_.variable_references, name, fresh);
        made = true;
        return fresh;
    }

    ModuleParser& parser_;
    ReferenceWords words_;
    bool hold_back_ = false;
    std::vector<HeldList> held_lists_;
    // A deque: it grows without copying what it holds, and without taking
    // twice its size of fresh memory as a growing array would.
    std::deque<Held> held_;
    std::string buffer_;
    std::vector<py::object> numbers_;
};

}  // namespace

// ---------------------------------------------------------------------------

namespace {

// Whether every file of the map is an exact str with an exact list of exact strs.
bool plain_files(const py::dict& files) {
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(files.ptr(), &pos, &key, &value)) {
        if (!PyUnicode_CheckExact(key) || !PyList_CheckExact(value)) return false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(value); ++i)
            if (!PyUnicode_CheckExact(PyList_GET_ITEM(value, i))) return false;
    }
    return true;
}

// Whether the variable records are all plain VariableInfo records with str
// names, in exact lists (read without running code of a caller's).
bool plain_variable_records(ModuleParser& parser) {
    auto plain_list = [](PyObject* list) {
        if (!PyList_CheckExact(list)) return false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(list); ++i) {
            PyObject* v = PyList_GET_ITEM(list, i);
            if (!Py_IS_TYPE(v, record_type(RecordKind::Variable))) return false;
            PyObject* name = field(v, VarField::name);
            PyObject* original = field(v, VarField::original_name);
            if (!name || !original || !PyUnicode_CheckExact(name) || !PyUnicode_CheckExact(original)) return false;
        }
        return true;
    };
    if (!plain_list(parser.global_variables.ptr())) return false;
    for (const py::dict* map : {&parser.module_variables, &parser.local_variables}) {
        if (!PyDict_CheckExact(map->ptr())) return false;
        PyObject *key, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(map->ptr(), &pos, &key, &value))
            if (!plain_list(value)) return false;
    }
    return true;
}

// Whether every key of variable_references is a str and every value an exact
// list of its own (no list under two names).
bool plain_reference_lists(ModuleParser& parser) {
    std::unordered_set<PyObject*> lists;
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(parser.variable_references.ptr(), &pos, &key, &value))
        if (!PyUnicode_CheckExact(key) || !PyList_CheckExact(value) || !lists.insert(value).second) return false;
    return true;
}

// Whether every Type and Enum record is a plain TypeInfo (read without
// running code of a caller's).
bool plain_type_records(ModuleParser& parser) {
    for (const py::dict* records : {&parser.types, &parser.enums}) {
        PyObject *key, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(records->ptr(), &pos, &key, &value))
            if (!Py_IS_TYPE(value, record_type(RecordKind::Type))) return false;
    }
    return true;
}

}  // namespace

py::dict build_all_variables(ModuleParser& parser) {
    py::dict all;
    auto enter = [&](py::handle v) {
        py::object original = attr_of(v, RecordKind::Variable, VarField::original_name, "original_name");
        host::set_item(all, original, v);
        py::object name = attr_of(v, RecordKind::Variable, VarField::name, "name");
        // The same object again would only store v once more.
        if (!name.is(original)) host::set_item(all, name, v);
    };
    host::for_each_item(parser.global_variables, enter);
    for (auto item : parser.module_variables) host::for_each_item(item.second, enter);
    for (auto item : parser.local_variables) host::for_each_item(item.second, enter);
    return all;
}

void collect_variable_references(ModuleParser& parser) {
    host::print_line("正在收集变量引用信息...");
    host::GcPause no_gc;
    // With plain records the words are taken from them directly; otherwise
    // through the map of all variables, as the caller's objects answer.
    std::unique_ptr<ReferenceScan> scanner;
    if (plain_variable_records(parser))
        scanner = std::make_unique<ReferenceScan>(parser);
    else
        scanner = std::make_unique<ReferenceScan>(parser, build_all_variables(parser));
    ReferenceScan& scan = *scanner;
    // When nothing in the files or the Type/Enum records can run code of a
    // caller's, the Type and Enum uses are counted in the same scan.
    const bool files_plain = plain_files(parser.files);
    std::unique_ptr<TypeCounter> types;
    if (files_plain && plain_type_records(parser)) {
        types = std::make_unique<TypeCounter>(parser);
        if (!types->plain()) types.reset();
    }
    if (files_plain && plain_reference_lists(parser)) scan.hold_back_appends();
    try {
        for (auto item : parser.files) {
            py::str path = host::arg_str(item.first, "file_path");
            py::list lines = host::arg_list(item.second, "lines");
            scan.file(path, lines, types.get());
        }
    } catch (...) {
        // What was found before the failure is in the lists, as it would be
        // had each reference been appended when found.
        try {
            scan.append_held();
        } catch (...) {
        }
        throw;
    }
    scan.append_held();
    if (!types) collect_type_enum_references(parser);
    py::str count(py::int_(PyDict_GET_SIZE(parser.variable_references.ptr())));
    host::print_line(host::from_utf8("收集到 ") + count + host::from_utf8(" 个变量的引用信息"));
}

void collect_references_in_file(ModuleParser& parser, const py::str& file_path, const py::list& lines,
                                const py::dict& all_variables) {
    host::GcPause no_gc;
    ReferenceScan(parser, all_variables).file(file_path, lines);
}

void find_variable_references_in_line(ModuleParser& parser, const py::str& line, const py::int_& line_num,
                                      const py::str& file_path, py::handle function_name,
                                      const py::dict& all_variables) {
    ReferenceScan scan(parser, all_variables);
    scan.line(line, 0, file_path, function_name, host::strip(line), 0, 0, line_num);
}


}  // namespace tallowby::vba
