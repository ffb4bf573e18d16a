#include "vba/references.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "host/args.hpp"
#include "host/console.hpp"
#include "host/gc_pause.hpp"
#include "host/regex.hpp"
#include "host/text.hpp"
#include "vba/line_tests.hpp"
#include "vba/records.hpp"

namespace tallowby::vba {

namespace {

using host::StrView;

// ---------------------------------------------------------------------------
// Small host helpers

// record.<name>: the slot directly for a record of the expected kind, the
// host's attribute look-up for anything else a caller may have put there.
py::object attr_of(py::handle obj, RecordKind kind, int index, const char* name) {
    if (is_record(obj, kind)) {
        if (PyObject* v = field(obj, index)) return py::reinterpret_borrow<py::object>(v);
    }
    return obj.attr(name);
}

void store(const py::dict& map, py::handle key, py::handle value) {
    if (PyDict_SetItem(map.ptr(), key.ptr(), value.ptr()) < 0) throw py::error_already_set();
}

void append_to(py::handle list, py::handle item) {
    if (PyList_CheckExact(list.ptr())) {
        if (PyList_Append(list.ptr(), item.ptr()) < 0) throw py::error_already_set();
    } else {
        list.attr("append")(item);
    }
}

// Iterates a host iterable, with the fast path for an exact list.
template <typename F>
void for_each_item(py::handle iterable, F&& f) {
    if (PyList_CheckExact(iterable.ptr())) {
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(iterable.ptr()); ++i) {
            py::object item = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(iterable.ptr(), i));
            f(item);
        }
        return;
    }
    for (py::handle item : py::iter(py::reinterpret_borrow<py::object>(iterable))) f(item);
}

// ---------------------------------------------------------------------------
// Word runs: maximal runs of word characters (the host's \w for str).

const std::array<bool, 256>& latin1_word_table() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (Py_UCS4 c = 0; c < 256; ++c) t[c] = host::is_word(c);
        return t;
    }();
    return table;
}

template <typename Ch>
inline bool word_at(Ch c, const std::array<bool, 256>& latin1) {
    const Py_UCS4 u = static_cast<Py_UCS4>(c);
    return u < 256 ? latin1[u] : host::is_word(u);
}

// Calls f(data, start, end, all_ascii) for every run of the text's code points.
template <typename Ch, typename F>
void runs_of(const Ch* s, Py_ssize_t n, F& f) {
    const auto& latin1 = latin1_word_table();
    Py_ssize_t i = 0;
    for (;;) {
        while (i < n && !word_at(s[i], latin1)) ++i;
        if (i >= n) return;
        const Py_ssize_t start = i;
        bool ascii = true;
        while (i < n && word_at(s[i], latin1)) {
            if (static_cast<Py_UCS4>(s[i]) >= 128) ascii = false;
            ++i;
        }
        f(s, start, i, ascii);
    }
}

template <typename F>
void for_each_run(PyObject* text, F&& f) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const void* data = PyUnicode_DATA(text);
    switch (PyUnicode_KIND(text)) {
        case PyUnicode_1BYTE_KIND: runs_of(static_cast<const Py_UCS1*>(data), n, f); break;
        case PyUnicode_2BYTE_KIND: runs_of(static_cast<const Py_UCS2*>(data), n, f); break;
        default: runs_of(static_cast<const Py_UCS4*>(data), n, f); break;
    }
}

// The run's text as UTF-8: a view of the str's own bytes when they are ASCII
// in a one-byte str, otherwise encoded into `buffer`.
template <typename Ch>
std::string_view run_text(const Ch* s, Py_ssize_t start, Py_ssize_t end, bool ascii, std::string& buffer) {
    if constexpr (sizeof(Ch) == 1) {
        if (ascii) return {reinterpret_cast<const char*>(s) + start, static_cast<size_t>(end - start)};
    }
    buffer.clear();
    for (Py_ssize_t i = start; i < end; ++i) {
        const Py_UCS4 c = static_cast<Py_UCS4>(s[i]);
        if (c < 0x80) {
            buffer += static_cast<char>(c);
        } else if (c < 0x800) {
            buffer += static_cast<char>(0xC0 | (c >> 6));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            buffer += static_cast<char>(0xE0 | (c >> 12));
            buffer += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            buffer += static_cast<char>(0xF0 | (c >> 18));
            buffer += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            buffer += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            buffer += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return buffer;
}

// The UTF-8 text of a str whose code points are all word characters (so no
// surrogates), or false for any other str.
bool word_run_text(PyObject* s, std::string& out) {
    StrView v{py::handle(s)};
    if (v.size() == 0) return false;
    for (Py_ssize_t i = 0; i < v.size(); ++i)
        if (!host::is_word(v[i])) return false;
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(s, &size);
    if (!utf8) throw py::error_already_set();
    out.assign(utf8, static_cast<size_t>(size));
    return true;
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
template <typename V>
using TextMap = std::unordered_map<std::string, V, TextHash, std::equal_to<>>;
using TextSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;

// A small bit table over the length and the first and last bytes of the
// texts of a map: most words of a line are no name at all, and the table
// turns them away without touching the map.
class TextFilter {
public:
    void add(std::string_view s) { bits_[slot(s) >> 6] |= uint64_t{1} << (slot(s) & 63); }
    bool may_hold(std::string_view s) const { return (bits_[slot(s) >> 6] >> (slot(s) & 63)) & 1; }

private:
    static size_t slot(std::string_view s) {
        if (s.empty()) return 0;
        const size_t h = (s.size() * 0x9E37u) ^ (static_cast<unsigned char>(s.front()) * 0x85EBu) ^
                         (static_cast<unsigned char>(s.back()) * 0xC2B3u) ^
                         (static_cast<unsigned char>(s[s.size() / 2]) * 0x27D4u);
        return h & (kBits - 1);
    }
    static constexpr size_t kBits = 1 << 16;
    std::array<uint64_t, kBits / 64> bits_{};
};

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

// ^\s*(Public|Private|Friend)?\s*(Function|Sub)\s+(?P<name>\w+), ignoring
// case: the name's bounds when the line matches.
bool header_name(const StrView& v, Py_ssize_t& begin, Py_ssize_t& end) {
    auto skip_space = [&](Py_ssize_t p) {
        while (p < v.size() && host::is_space(v[p])) ++p;
        return p;
    };
    auto keyword_name = [&](Py_ssize_t p) {
        for (std::string_view kw : {"function", "sub"}) {
            if (!v.starts_with_ignorecase(p, kw)) continue;
            Py_ssize_t q = p + static_cast<Py_ssize_t>(kw.size());
            if (q >= v.size() || !host::is_space(v[q])) return false;
            q = skip_space(q);
            if (q >= v.size() || !host::is_word(v[q])) return false;
            begin = q;
            while (q < v.size() && host::is_word(v[q])) ++q;
            end = q;
            return true;
        }
        return false;
    };
    const Py_ssize_t p = skip_space(0);
    for (std::string_view modifier : {"public", "private", "friend"}) {
        if (v.starts_with_ignorecase(p, modifier)) {
            if (keyword_name(skip_space(p + static_cast<Py_ssize_t>(modifier.size())))) return true;
            break;  // the modifiers differ within their first letters
        }
    }
    return keyword_name(p);
}

// The words that are references during one pass: keys of all_variables that
// are neither keywords nor procedure names. Built at the first line that is
// scanned, so that the procedure names are taken when a line is scanned.
class ReferenceWords {
public:
    struct Entry {
        py::object var_name;  // the str recorded as var_name and used as key
        py::object list;      // its list in variable_references, once looked up
    };

    ReferenceWords(ModuleParser& parser, const py::dict& all_variables)
        : parser_(parser), all_variables_(all_variables) {}

    Entry* find(std::string_view word) {
        if (!built_) build();
        if (!host_lookup_ && !filter_.may_hold(word)) return nullptr;
        auto it = words_.find(word);
        if (it != words_.end()) return &it->second;
        if (!host_lookup_) return nullptr;
        return decide_by_host(word);
    }

private:
    void build() {
        py::set names;
        for (auto item : parser_.functions) {
            py::handle info = item.second;
            py::object name = attr_of(info, RecordKind::Function, FuncField::name, "name");
            if (PySet_Add(names.ptr(), name.ptr()) < 0) throw py::error_already_set();
            py::object original = attr_of(info, RecordKind::Function, FuncField::original_name, "original_name");
            if (PySet_Add(names.ptr(), original.ptr()) < 0) throw py::error_already_set();
        }
        function_names_ = names;

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
            const int is_procedure = PySet_Contains(function_names_.ptr(), key);
            if (is_procedure < 0) throw py::error_already_set();
            if (is_procedure) continue;
            words_.emplace(std::string(text), Entry{py::reinterpret_borrow<py::object>(key), py::object()});
            filter_.add(text);
        }
        built_ = true;
    }

    Entry* decide_by_host(std::string_view word) {
        if (not_words_.count(word) || vba_keywords().count(word)) return nullptr;
        py::str w(word.data(), word.size());
        const int is_procedure = PySet_Contains(function_names_.ptr(), w.ptr());
        if (is_procedure < 0) throw py::error_already_set();
        const int is_variable = is_procedure ? 0 : PyDict_Contains(all_variables_.ptr(), w.ptr());
        if (is_variable < 0) throw py::error_already_set();
        if (!is_variable) {
            not_words_.emplace(word);
            return nullptr;
        }
        return &words_.emplace(std::string(word), Entry{w, py::object()}).first->second;
    }

    ModuleParser& parser_;
    py::dict all_variables_;
    py::set function_names_;
    bool built_ = false;
    bool host_lookup_ = false;
    TextMap<Entry> words_;
    TextFilter filter_;
    TextSet not_words_;
};

class ReferenceScan {
public:
    ReferenceScan(ModuleParser& parser, const py::dict& all_variables)
        : parser_(parser), words_(parser, all_variables) {}

    void file(const py::str& file_path, const py::list& lines) {
        py::object current = py::none();
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
            const StrView v = stripped ? StrView(stripped) : StrView(raw, from, to);
            if (is_function_definition(v)) {
                Py_ssize_t begin = 0, end = 0;
                if (header_name(v, begin, end)) {
                    current = stripped ? host::substr(stripped, begin, end)
                                       : host::substr(raw, from + begin, from + end);
                }
                continue;
            }
            if (v.starts_with(0, "End Function") || v.starts_with(0, "End Sub")) {
                current = py::none();
                continue;
            }
            if (is_variable_declaration(v) || v.starts_with(0, "Type ") || v.starts_with(0, "Enum ")) continue;
            if (!PyUnicode_CheckExact(raw.ptr())) host::arg_str(raw, "line");
            line(raw, i + 1, file_path, current, stripped, from, to);
        }
    }

    // Records the references of a raw line (an exact str); `context` is its
    // stripped text, or null to take raw[from:to] when the first reference
    // is found.
    void line(py::handle raw, Py_ssize_t line_num, py::handle file_path, py::handle function_name,
              py::object context, Py_ssize_t from = 0, Py_ssize_t to = 0, py::handle line_num_obj = py::handle()) {
        py::object number = py::reinterpret_borrow<py::object>(line_num_obj);
        for_each_run(raw.ptr(), [&](const auto* s, Py_ssize_t start, Py_ssize_t end, bool ascii) {
            if (!ascii || (s[start] >= '0' && s[start] <= '9')) return;
            std::string_view word = run_text(s, start, end, true, buffer_);
            ReferenceWords::Entry* entry = words_.find(word);
            if (!entry) return;
            if (!number) number = py::int_(line_num);
            if (!context) context = host::substr(raw, from, to);
            py::object record =
                new_record(RecordKind::Reference, {entry->var_name, file_path, number, function_name, context});
            if (!entry->list) entry->list = list_for(entry->var_name);
            append_to(entry->list, record);
        });
    }

private:
    // The list of `name` in variable_references, stored there when missing.
    py::object list_for(const py::object& name) {
        PyObject* refs = parser_.variable_references.ptr();
        PyObject* existing = PyDict_GetItemWithError(refs, name.ptr());
        if (existing) return py::reinterpret_borrow<py::object>(existing);
        if (PyErr_Occurred()) throw py::error_already_set();
        py::list fresh;
        store(parser_.variable_references, name, fresh);
        return fresh;
    }

    ModuleParser& parser_;
    ReferenceWords words_;
    std::string buffer_;
};

// ---------------------------------------------------------------------------
// Type and Enum references

// ^\s*(Public|Private)?\s*(Type|Enum)\s+, ignoring case.
bool definition_header(const StrView& v) {
    auto skip_space = [&](Py_ssize_t p) {
        while (p < v.size() && host::is_space(v[p])) ++p;
        return p;
    };
    auto keyword_space = [&](Py_ssize_t p) {
        for (std::string_view kw : {"type", "enum"}) {
            const Py_ssize_t q = p + static_cast<Py_ssize_t>(kw.size());
            if (v.starts_with_ignorecase(p, kw) && q < v.size() && host::is_space(v[q])) return true;
        }
        return false;
    };
    const Py_ssize_t p = skip_space(0);
    for (std::string_view modifier : {"public", "private"})
        if (v.starts_with_ignorecase(p, modifier) &&
            keyword_space(skip_space(p + static_cast<Py_ssize_t>(modifier.size()))))
            return true;
    return keyword_space(p);
}

const host::HostPattern kDefinitionHeader(R"(^\s*(Public|Private)?\s*(Type|Enum)\s+)", host::kIgnoreCase);

// \b + name + \b searched in the line, the name taken literally.
bool whole_word_found(const StrView& line, PyObject* name) {
    const Py_ssize_t n = line.size();
    const Py_ssize_t m = PyUnicode_GET_LENGTH(name);
    auto boundary = [&](Py_ssize_t p) {
        const bool before = p > 0 && host::is_word(line[p - 1]);
        const bool after = p < n && host::is_word(line[p]);
        return before != after;
    };
    for (Py_ssize_t from = 0; from + m <= n;) {
        const Py_ssize_t at = PyUnicode_Find(line.object(), name, from, n, 1);
        if (at == -2) throw py::error_already_set();
        if (at < 0) return false;
        if (boundary(at) && boundary(at + m)) return true;
        from = at + 1;
    }
    return false;
}

// type_info.reference_count += 1; type_info.referenced_files.add(file_path)
void count_use(py::handle info, py::handle file_path) {
    static PyObject* one = PyLong_FromLong(1);
    if (is_record(info, RecordKind::Type) && field(info, TypeField::reference_count) &&
        field(info, TypeField::referenced_files)) {
        PyObject* sum = PyNumber_InPlaceAdd(field(info, TypeField::reference_count), one);
        if (!sum) throw py::error_already_set();
        set_field(info, TypeField::reference_count, py::reinterpret_steal<py::object>(sum));
        PyObject* files = field(info, TypeField::referenced_files);
        if (PySet_CheckExact(files)) {
            if (PySet_Add(files, file_path.ptr()) < 0) throw py::error_already_set();
        } else {
            py::handle(files).attr("add")(file_path);
        }
        return;
    }
    py::object count = info.attr("reference_count");
    PyObject* sum = PyNumber_InPlaceAdd(count.ptr(), one);
    if (!sum) throw py::error_already_set();
    info.attr("reference_count") = py::reinterpret_steal<py::object>(sum);
    info.attr("referenced_files").attr("add")(file_path);
}

struct TypeName {
    PyObject* name;    // borrowed from all_types
    PyObject* record;  // borrowed from all_types
    uint64_t counted_line = 0;
};

}  // namespace

// ---------------------------------------------------------------------------

py::dict build_all_variables(ModuleParser& parser) {
    py::dict all;
    auto enter = [&](py::handle v) {
        store(all, attr_of(v, RecordKind::Variable, VarField::original_name, "original_name"), v);
        store(all, attr_of(v, RecordKind::Variable, VarField::name, "name"), v);
    };
    for_each_item(parser.global_variables, enter);
    for (auto item : parser.module_variables) for_each_item(item.second, enter);
    for (auto item : parser.local_variables) for_each_item(item.second, enter);
    return all;
}

void collect_variable_references(ModuleParser& parser) {
    host::print_line("正在收集变量引用信息...");
    host::GcPause no_gc;
    py::dict all_variables = build_all_variables(parser);
    ReferenceScan scan(parser, all_variables);
    for (auto item : parser.files) {
        py::str path = host::arg_str(item.first, "file_path");
        py::list lines = host::arg_list(item.second, "lines");
        scan.file(path, lines);
    }
    collect_type_enum_references(parser);
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

void collect_type_enum_references(ModuleParser& parser) {
    py::dict all_types;
    auto enter = [&](const py::dict& records) {
        for (auto item : records) {
            py::handle info = item.second;
            store(all_types, attr_of(info, RecordKind::Type, TypeField::name, "name"), info);
            store(all_types, attr_of(info, RecordKind::Type, TypeField::original_name, "original_name"), info);
        }
    };
    enter(parser.types);
    enter(parser.enums);

    // Names that are one run of word characters are found by looking up the
    // line's runs; any other text goes through a literal search.
    std::vector<TypeName> names;
    names.reserve(static_cast<size_t>(PyDict_GET_SIZE(all_types.ptr())));
    TextMap<TypeName*> by_text;
    auto filter = std::make_unique<TextFilter>();
    std::vector<TypeName*> literal;
    bool non_text = false;
    {
        PyObject *key, *value;
        Py_ssize_t pos = 0;
        std::string text;
        while (PyDict_Next(all_types.ptr(), &pos, &key, &value)) {
            names.push_back({key, value});
            if (!PyUnicode_Check(key))
                non_text = true;
            else if (word_run_text(key, text)) {
                by_text.emplace(text, &names.back());
                filter->add(text);
            }
            else
                literal.push_back(&names.back());
        }
    }

    py::module_ re;
    if (non_text) re = py::module_::import("re");
    std::string buffer;
    uint64_t line_id = 0;
    for (auto file : parser.files) {
        py::handle file_path = file.first;
        for_each_item(file.second, [&](py::handle line) {
            if (!PyUnicode_Check(line.ptr())) {
                // The host's header match fails on anything but a str.
                kDefinitionHeader.match(line);
                return;
            }
            StrView v(line);
            if (definition_header(v)) return;
            ++line_id;
            if (non_text) {
                // Some name is not a str: the host's own search, in order,
                // fails where it would.
                for (auto item : all_types) {
                    py::object pattern = py::str("\\b") + re.attr("escape")(item.first) + py::str("\\b");
                    if (!re.attr("search")(pattern, line).is_none()) count_use(item.second, file_path);
                }
                return;
            }
            if (!by_text.empty()) {
                for_each_run(line.ptr(), [&](const auto* s, Py_ssize_t start, Py_ssize_t end, bool ascii) {
                    const std::string_view text = run_text(s, start, end, ascii, buffer);
                    if (!filter->may_hold(text)) return;
                    auto it = by_text.find(text);
                    if (it == by_text.end() || it->second->counted_line == line_id) return;
                    it->second->counted_line = line_id;
                    count_use(it->second->record, file_path);
                });
            }
            for (TypeName* name : literal)
                if (whole_word_found(v, name->name)) count_use(name->record, file_path);
        });
    }
}

}  // namespace tallowby::vba
