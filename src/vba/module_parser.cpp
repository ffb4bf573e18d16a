#include "vba/module_parser.hpp"

#include <cstring>
#include <new>
#include <string_view>
#include <tuple>

#include "host/args.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/gc_pause.hpp"
#include "host/objects.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "host/utf8_lines.hpp"
#include "vba/declaration_match.hpp"
#include "vba/suggestions.hpp"
#include "vba/header_match.hpp"
#include "vba/line_tests.hpp"
#include "vba/naming_rules.hpp"
#include "vba/parameter_check.hpp"
#include "vba/records.hpp"
#include "vba/references.hpp"

namespace tallowby::vba {

namespace {

using host::truthy;

using host::StrView;


using host::concat;
using host::failure_text;
using host::print_parts;

const py::str& colon() {
    static const py::str* c = new py::str(":");
    return *c;
}

// file path + ":" + name
py::str key_of(py::handle path, py::handle name) { return concat(concat(path, colon()), name); }


// Whether v[start:end] is, ignoring ASCII case, the lower-case ASCII word
// `lower`. A non-ASCII character never counts: the texts compared here hold
// no "k", the one ASCII letter that a non-ASCII character lowers to.
bool ascii_word_at(const StrView& v, Py_ssize_t start, Py_ssize_t end, std::string_view lower) {
    if (end - start != static_cast<Py_ssize_t>(lower.size())) return false;
    for (Py_ssize_t i = start; i < end; ++i) {
        Py_UCS4 c = v[i];
        if (c >= 128) return false;
        if (c >= 'A' && c <= 'Z') c += 32;
        if (c != static_cast<unsigned char>(lower[static_cast<size_t>(i - start)])) return false;
    }
    return true;
}

void steal_into_tuple(PyObject* tuple, Py_ssize_t i, PyObject* item) { PyTuple_SET_ITEM(tuple, i, item); }

// The list under `key`, stored as a new list when missing.
py::object list_under(py::dict& map, py::handle key) {
    py::list fresh;
    PyObject* list = PyDict_SetDefault(map.ptr(), key.ptr(), fresh.ptr());
    if (!list) throw py::error_already_set();
    return py::reinterpret_borrow<py::object>(list);
}

void store(py::dict& map, py::handle key, py::handle value) {
    if (PyDict_SetItem(map.ptr(), key.ptr(), value.ptr()) < 0) throw py::error_already_set();
}

py::str u8(std::string_view s) { return host::from_utf8(s); }

FuncType kind_by_suffix(const py::str& name) {
    const StrView v(name);
    auto ends = [&](std::string_view suffix) {
        return v.starts_with(v.size() - static_cast<Py_ssize_t>(suffix.size()), suffix);
    };
    if (ends("_VBT")) return FuncType::VBT;
    if (ends("_DSP")) return FuncType::DSP;
    if (ends("_IP")) return FuncType::IP;
    return FuncType::OTHER;
}

// The bounds [start, end) that str.strip() keeps, read per storage kind.
template <typename Unit>
std::pair<Py_ssize_t, Py_ssize_t> bounds_of(const Unit* d, Py_ssize_t n) {
    Py_ssize_t a = 0, b = n;
    while (a < b && host::is_space(d[a])) ++a;
    while (b > a && host::is_space(d[b - 1])) --b;
    return {a, b};
}

std::pair<Py_ssize_t, Py_ssize_t> line_bounds(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: return bounds_of(PyUnicode_1BYTE_DATA(s), n);
        case PyUnicode_2BYTE_KIND: return bounds_of(PyUnicode_2BYTE_DATA(s), n);
        default: return bounds_of(PyUnicode_4BYTE_DATA(s), n);
    }
}

template <typename Unit>
Py_UCS4 first_solid(const Unit* d, Py_ssize_t n) {
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!host::is_space(d[i])) return d[i];
    return 0;
}

// Whether a line's first character after white space may begin what one of
// the scan's tests accepts (a keyword letter in any case as the host's
// ignore-case matching reads it, or the "T" / "E" of "Type ", "Enum ", "End ").
// Every other line is passed over.
bool may_open_reading(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    Py_UCS4 c;
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: c = first_solid(PyUnicode_1BYTE_DATA(s), n); break;
        case PyUnicode_2BYTE_KIND: c = first_solid(PyUnicode_2BYTE_DATA(s), n); break;
        default: c = first_solid(PyUnicode_4BYTE_DATA(s), n); break;
    }
    if (c >= 128) return c == 0x17F;  // the long s reads as "s"
    switch (c) {
        case 'P': case 'p': case 'F': case 'f': case 'S': case 's': case 'G': case 'g':
        case 'D': case 'd': case 'C': case 'c': case 'T': case 'E':
            return true;
        default:
            return false;
    }
}

// Source lines of the scan: str.strip() of each item as the host would call it.
py::str stripped(py::handle item) {
    if (PyUnicode_CheckExact(item.ptr())) return host::strip(item);
    return host::arg_str(item.attr("strip")(), "line");
}

template <typename Unit>
bool units_continue(const Unit* d, Py_ssize_t n) {
    while (n > 0 && host::is_space(d[n - 1])) --n;
    if (n == 0 || d[n - 1] != '_') return false;
    return n == 1 || host::is_space(d[n - 2]);
}

// Whether an exact str line goes on in the next one (" _" at its end).
bool raw_line_continues(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: return units_continue(PyUnicode_1BYTE_DATA(s), n);
        case PyUnicode_2BYTE_KIND: return units_continue(PyUnicode_2BYTE_DATA(s), n);
        default: return units_continue(PyUnicode_4BYTE_DATA(s), n);
    }
}

// The stripped statement that starts at lines[first]: each line that ends in
// " _" is joined to the next with one blank, the "_" dropped. `last` is set to
// the index of its last line.
py::str logical_line(const py::list& lines, Py_ssize_t first, Py_ssize_t& last) {
    py::list pieces;
    Py_ssize_t k = first;
    while (true) {
        py::str piece = stripped(PyList_GET_ITEM(lines.ptr(), k));
        const bool more = k + 1 < PyList_GET_SIZE(lines.ptr()) && continues(StrView(piece));
        if (!more) {
            pieces.append(piece);
            break;
        }
        pieces.append(host::strip(host::substr(piece, 0, PyUnicode_GET_LENGTH(piece.ptr()) - 1)));
        ++k;
    }
    last = k;
    if (PyList_GET_SIZE(pieces.ptr()) == 1) return py::reinterpret_borrow<py::str>(PyList_GET_ITEM(pieces.ptr(), 0));
    static const py::str* blank = new py::str(" ");
    PyObject* joined = PyUnicode_Join(blank->ptr(), pieces.ptr());
    if (!joined) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(joined);
}

const py::str& at_sign() {
    static const py::str* c = new py::str("@");
    return *c;
}

bool contains_key(const py::set& set, py::handle key) {
    const int r = PySet_Contains(set.ptr(), key.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

}  // namespace

py::int_ ModuleParser::line_number(Py_ssize_t n) {
    constexpr Py_ssize_t kKept = Py_ssize_t(1) << 20;
    if (n >= kKept) return py::int_(n);
    if (static_cast<size_t>(n) >= line_numbers_.size()) line_numbers_.resize(static_cast<size_t>(n) + 1024);
    py::object& known = line_numbers_[static_cast<size_t>(n)];
    if (!known) known = py::int_(n);
    return py::reinterpret_borrow<py::int_>(known);
}

py::str ModuleParser::LinePart::str() const {
    if (start == 0 && end == PyUnicode_GET_LENGTH(text.ptr())) return py::reinterpret_borrow<py::str>(text);
    return host::substr(text, start, end);
}

ModuleParser::ModuleParser() {
    // Look-ups of a missing word give a new empty list and store nothing.
    static PyObject* reference_map = [] {
        py::dict ns;
        ns["__slots__"] = py::tuple();
        ns["__module__"] = py::str("tallowby.quillon.quillon");
        py::object builtins = py::module_::import("builtins");
        py::object cls = builtins.attr("type")("VariableReferenceMap", py::make_tuple(builtins.attr("dict")), ns);
        cls.attr("__missing__") = py::cpp_function([](py::handle, py::handle) { return py::list(); },
                                                   py::is_method(cls), py::name("__missing__"));
        return cls.release().ptr();
    }();
    variable_references = py::reinterpret_steal<py::dict>(PyObject_CallNoArgs(reference_map));
    if (!variable_references) throw py::error_already_set();
}

void ModuleParser::parse_files(py::handle self, const py::str& directory_path) {
    // The lines, records and maps made here hold no cycles: the collector
    // would only walk the growing heap again and again.
    host::GcPause no_gc;
    py::module_ os = py::module_::import("os");
    py::object join = os.attr("path").attr("join");

    // os.walk: top down, files of a folder before its subfolders, listing
    // order, links to folders not followed, unreadable folders skipped.
    py::list paths;
    for (py::handle entry : os.attr("walk")(directory_path)) {
        py::object root = entry[py::int_(0)];
        for (py::handle name : entry[py::int_(2)]) {
            py::str lowered = host::lower(name);
            StrView v(lowered);
            if (!v.starts_with(v.size() - 4, ".bas")) continue;
            py::object path = join(root, name);
            // Only regular files are opened: a FIFO, socket or device would
            // block or never end. A broken link stays, and fails when opened.
            if (host::path_exists(path) && !host::is_regular_file(path)) continue;
            paths.append(path);
        }
    }

    print_parts({u8("找到 "), py::str(py::int_(py::len(paths))), u8(" 个 .bas 文件")});

    for (py::handle path_h : paths) {
        py::str path = py::reinterpret_borrow<py::str>(path_h);
        try {
            host::ModuleText text = host::read_module_text(path);
            store(files, path, text.lines);
            store(file_encodings, path, py::str(text.encoding));
            store(file_newlines, path, text.newlines);
            parse_file(path, text.lines);
        } catch (...) {
            py::str message = failure_text();
            print_parts({u8("解析文件 "), path, u8(" 时出错: "), message});
        }
    }

    settle_suggestions(*this);

    // The two whole-model passes, each replaceable by a subclass.
    static const auto parser_class = []() -> py::handle {
        static PyObject* cls = py::type::of<ModuleParser>().release().ptr();
        return cls;
    };
    static const host::OwnOperation references_step("_collect_variable_references", parser_class);
    static const host::OwnOperation parameters_step("_check_function_parameters", parser_class);
    references_step(self, [&] { collect_variable_references(*this); });
    parameters_step(self, [&] { check_function_parameters(*this); });
    untrack_atomic_lists(files);
    untrack_atomic_lists(variable_references);

    print_parts({u8("解析完成："), py::str(py::int_(py::len(global_variables))), u8(" 个全局变量，"),
                 py::str(py::int_(py::len(functions))), u8(" 个函数")});
}

void ModuleParser::parse_file(const py::str& file_path, const py::list& lines) {
    py::object current;  // the open procedure's FunctionInfo
    bool in_function = false;
    Target procedure;  // its key in functions, also the key of its locals
    Target module;     // file_path in module_variables
    bool current_named = false;  // its name is not empty
    // The procedure keys of this module so far: a procedure that appears
    // again (in another branch of conditional compilation, or a Property
    // Get beside its Let) is kept under its name, "@" and its first line.
    py::set keys_seen;

    auto close_function = [&](Py_ssize_t end_line) {
        set_field(current, FuncField::end_line, line_number(end_line));
        store(functions, procedure.key, current);
    };

    const Py_ssize_t count = PyList_GET_SIZE(lines.ptr());
    for (Py_ssize_t i = 0; i < count; ++i) {
        const Py_ssize_t line_num = i + 1;
        const py::object held = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(lines.ptr(), i));
        const py::handle item = held;
        // The tests look at the stripped part of the line in place; the
        // stripped text itself is made only for the lines a reader gets.
        // A statement continued over several lines (" _" at the ends) is
        // read as one line, joined with single blanks, at its first line's number.
        py::str line;
        bool have_line = true;
        Py_ssize_t start = 0, end = 0;
        py::handle source = item;
        if (PyUnicode_CheckExact(item.ptr()) && !raw_line_continues(item.ptr())) {
            if (!may_open_reading(item.ptr())) continue;
            std::tie(start, end) = line_bounds(item.ptr());
            if (start == 0 && end == PyUnicode_GET_LENGTH(item.ptr())) {
                line = py::reinterpret_borrow<py::str>(item);
            } else {
                have_line = false;
            }
        } else {
            Py_ssize_t last = i;
            line = logical_line(lines, i, last);
            i = last;
            source = line;
            end = PyUnicode_GET_LENGTH(line.ptr());
            // The items' own strip() may have changed the maps.
            procedure.list = module.list = py::object();
        }
        const StrView v = have_line ? StrView(line) : StrView(source, start, end);
        auto part = [&]() -> LinePart {
            if (have_line) return LinePart{line, 0, PyUnicode_GET_LENGTH(line.ptr())};
            return LinePart{source, start, end};
        };
        auto text = [&]() -> const py::str& {
            if (!have_line) {
                line = host::substr(source, start, end);
                have_line = true;
            }
            return line;
        };

        if (is_function_definition(v)) {
            if (in_function && current) close_function(line_num - 1);
            current = read_header(part(), file_path, line_number(line_num));
            procedure = Target();
            py::handle name = field(current, FuncField::name);
            procedure.key = key_of(file_path, name);
            if (contains_key(keys_seen, procedure.key)) {
                procedure.key = key_of(file_path, concat(concat(name, at_sign()), py::str(py::int_(line_num))));
            }
            if (PySet_Add(keys_seen.ptr(), procedure.key.ptr()) < 0) throw py::error_already_set();
            current_named = truthy(name);
            in_function = true;
        } else if (!in_function) {
            if (is_type_header(v)) {
                parse_definition(false, text(), line_number(line_num), file_path);
            } else if (is_enum_header(v)) {
                parse_definition(true, text(), line_number(line_num), file_path);
            } else if (is_variable_declaration(v)) {
                declare(part(), file_path, line_number(line_num), py::none(), false, module);
            }
        } else {
            if (is_variable_declaration(v)) {
                declare(part(), file_path, line_number(line_num), field(current, FuncField::name), current_named,
                        current_named ? procedure : module);
            } else if (is_procedure_end(v)) {
                close_function(line_num);
                in_function = false;
                current = py::object();
                procedure = Target();
            }
        }
    }
    if (in_function && current) close_function(count);
}

py::object ModuleParser::parse_function_definition(const py::str& line, const py::str& file_path,
                                                   const py::int_& line_num) {
    return read_header(LinePart{line, 0, PyUnicode_GET_LENGTH(line.ptr())}, file_path, line_num);
}

py::object ModuleParser::read_header(const LinePart& line, const py::str& file_path, const py::int_& line_num) {
    const py::handle src = line.text;
    const Py_ssize_t at = line.start;
    HeaderMatch match;
    if (!match_header(StrView(src, at, line.end), match)) {
        static const py::str* unknown = new py::str("unknown");
        return new_record(RecordKind::Function, {*unknown, *unknown, member(FuncType::OTHER), file_path, line_num,
                                                 py::int_(0), py::list(), py::list()});
    }
    py::str name = host::substr(src, at + match.name_start, at + match.name_end);
    py::list parameters = match.params_start < 0
                              ? py::list()
                              : parse_function_parameters(src, at + match.params_start, at + match.params_end);
    return new_record(RecordKind::Function, {name, name, member(kind_by_suffix(name)), file_path, line_num,
                                             py::int_(0), parameters, py::list()});
}

py::list parse_function_parameters(const py::str& params_str) {
    return parse_function_parameters(params_str, 0, PyUnicode_GET_LENGTH(params_str.ptr()));
}

py::list parse_function_parameters(py::handle s, Py_ssize_t from, Py_ssize_t to) {
    py::list parameters;
    const StrView v(s, from, to);
    {
        const auto [b, e] = host::strip_bounds(v);
        if (b >= e) return parameters;
    }

    static const py::str* variant = new py::str("Variant");
    static const py::str* empty = new py::str("");
    // Reads one piece, trimmed; pieces left empty are dropped.
    auto take = [&](Py_ssize_t start, Py_ssize_t end) {
        const auto [b, e] = host::strip_bounds(StrView(s, from + start, from + end));
        if (b >= e) return;
        const Py_ssize_t at = from + start + b;  // the piece's start in s
        ParameterMatch m;
        if (!match_parameter(StrView(s, at, at + (e - b)), m)) return;
        PyObject* triple = PyTuple_New(3);
        if (!triple) throw py::error_already_set();
        py::object owner = py::reinterpret_steal<py::object>(triple);
        steal_into_tuple(triple, 0, host::substr(s, at + m.name_start, at + m.name_end).release().ptr());
        steal_into_tuple(triple, 1, m.type_start < 0 ? py::object(*variant).release().ptr()
                                                     : host::substr(s, at + m.type_start, at + m.type_end).release().ptr());
        steal_into_tuple(triple, 2, m.mode_start < 0 ? py::object(*empty).release().ptr()
                                                     : host::substr(s, at + m.mode_start, at + m.mode_end).release().ptr());
        if (PyList_Append(parameters.ptr(), triple) < 0) throw py::error_already_set();
    };

    // Split at commas outside parentheses.
    long depth = 0;
    Py_ssize_t start = 0;
    for (Py_ssize_t i = 0; i < v.size(); ++i) {
        const Py_UCS4 c = v[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            take(start, i);
            start = i + 1;
        }
    }
    take(start, v.size());
    return parameters;
}

VarType variable_type_of(py::handle s, Py_ssize_t start, Py_ssize_t end) {
    static constexpr std::pair<std::string_view, VarType> table[] = {
        {"integer", VarType::Integer},         {"long", VarType::Long},
        {"single", VarType::Single},           {"double", VarType::Double},
        {"string", VarType::String},           {"boolean", VarType::Boolean},
        {"variant", VarType::Variant},         {"sitelong", VarType::SiteLong},
        {"sitedouble", VarType::SiteDouble},   {"siteboolean", VarType::SiteBoolean},
        {"dspwave", VarType::DspWave},         {"pindata", VarType::PinData},
        {"pinlistdata", VarType::PinListData}, {"pinlist", VarType::PinList},
        {"pattern", VarType::Pattern},         {"csl", VarType::CSL},
    };
    const StrView v(s, start, end);
    bool ascii = true;
    for (Py_ssize_t i = 0; i < v.size() && ascii; ++i) ascii = v[i] < 128;
    if (ascii) {
        for (const auto& [spelling, type] : table)
            if (ascii_word_at(v, 0, v.size(), spelling)) return type;
        return VarType::Variant;
    }
    // Other texts as the host lowers them ("İ" lowers to two characters).
    py::str lowered = host::lower(host::substr(s, start, end));
    for (const auto& [spelling, type] : table)
        if (host::equals(lowered, spelling.data())) return type;
    return VarType::Variant;
}

VarType type_of_character(Py_UCS4 c) {
    switch (c) {
        case '%': return VarType::Integer;
        case '&': return VarType::Long;
        case '!': return VarType::Single;
        case '#': return VarType::Double;
        case '$': return VarType::String;
        default: return VarType::Variant;  // none, Currency (@), LongLong (^)
    }
}

VarType variable_type_of(const py::str& type_str) {
    return variable_type_of(type_str, 0, PyUnicode_GET_LENGTH(type_str.ptr()));
}

py::handle parse_variable_type(const py::str& type_str) { return member(variable_type_of(type_str)); }

void ModuleParser::parse_variable_declaration(const py::str& line, const py::str& file_path,
                                              const py::int_& line_num, py::handle function_name) {
    bool in_procedure;
    try {
        in_procedure = truthy(function_name);
    } catch (...) {
        py::str message = failure_text();
        print_parts({u8("解析变量声明时出错 (行 "), py::str(line_num), u8("): "), line, u8(" - "), message});
        return;
    }
    Target target;
    declare(LinePart{line, 0, PyUnicode_GET_LENGTH(line.ptr())}, file_path, line_num, function_name, in_procedure,
            target);
}

namespace {

uint64_t hash_units(const unsigned char* data, size_t bytes, uint32_t combo) {
    uint64_t h = 0xcbf29ce484222325ull ^ combo;
    for (size_t i = 0; i < bytes; ++i) h = (h ^ data[i]) * 0x100000001b3ull;
    return h ^ (h >> 29);
}

}  // namespace

ModuleParser::Issue ModuleParser::verdict_of(const py::str& name, Scope scope, VarType type, bool is_array, bool is_const) {
    PyObject* n = name.ptr();
    const int kind = PyUnicode_KIND(n);
    const auto length = static_cast<size_t>(PyUnicode_GET_LENGTH(n));
    const auto* data = static_cast<const unsigned char*>(PyUnicode_DATA(n));
    const size_t bytes = length * static_cast<size_t>(kind);
    const auto combo = static_cast<uint32_t>(
        (static_cast<size_t>(scope) * kVarTypeCount + static_cast<size_t>(type)) * 4 + (is_array ? 2 : 0) +
        (is_const ? 1 : 0));
    if (length > UINT32_MAX) {  // not kept
        NameVerdict verdict = variable_verdict(name, scope, type, is_array, is_const);
        if (PyUnicode_Check(verdict.issue.ptr()) && PyUnicode_GET_LENGTH(verdict.issue.ptr()) > 0) {
            overflow_suggestion_ = verdict.name;
            overflow_issue_ = verdict.issue;
            return {overflow_suggestion_.ptr(), overflow_issue_.ptr()};
        }
        return {nullptr, nullptr};
    }
    const uint64_t hash = hash_units(data, bytes, combo);

    if (verdicts_.empty()) verdicts_.resize(1024);
    size_t mask = verdicts_.size() - 1;
    size_t slot = static_cast<size_t>(hash) & mask;
    for (;; slot = (slot + 1) & mask) {
        Verdict& e = verdicts_[slot];
        if (!e.name) break;
        if (e.hash != hash || e.combo != combo || e.length != length || e.kind != kind) continue;
        const unsigned char* known = bytes <= sizeof(e.inline_data)
                                         ? e.inline_data
                                         : static_cast<const unsigned char*>(PyUnicode_DATA(e.name.ptr()));
        if (std::memcmp(known, data, bytes) == 0) return {e.suggestion.ptr(), e.issue.ptr()};
    }

    NameVerdict verdict = variable_verdict(name, scope, type, is_array, is_const);
    const bool has_issue = PyUnicode_Check(verdict.issue.ptr()) && PyUnicode_GET_LENGTH(verdict.issue.ptr()) > 0;

    if ((verdict_count_ + 1) * 2 > verdicts_.size()) {
        std::vector<Verdict> old(verdicts_.size() * 2);
        old.swap(verdicts_);
        mask = verdicts_.size() - 1;
        for (Verdict& e : old) {
            if (!e.name) continue;
            size_t s = static_cast<size_t>(e.hash) & mask;
            while (verdicts_[s].name) s = (s + 1) & mask;
            verdicts_[s] = std::move(e);
        }
        slot = static_cast<size_t>(hash) & mask;
        while (verdicts_[slot].name) slot = (slot + 1) & mask;
    }
    Verdict& e = verdicts_[slot];
    e.hash = hash;
    e.name = name;
    if (has_issue) {
        e.suggestion = verdict.name;
        e.issue = verdict.issue;
    }
    e.combo = combo;
    e.length = static_cast<uint32_t>(length);
    e.kind = kind;
    if (bytes <= sizeof(e.inline_data)) std::memcpy(e.inline_data, data, bytes);
    ++verdict_count_;
    return {e.suggestion.ptr(), e.issue.ptr()};
}

void ModuleParser::declare(const LinePart& line, const py::str& file_path, const py::int_& line_num,
                           py::handle function_name, bool in_procedure, Target& target) {
    const py::handle src = line.text;
    const Py_ssize_t at = line.start;  // where the line starts in src
    try {
        const StrView v(src, at, line.end);
        Declaration declaration;
        if (!read_declaration(v, declaration)) return;
        const Py_ssize_t ks = declaration.keyword_start, ke = declaration.keyword_end;

        Scope scope = Scope::ModulePrivate;
        if (in_procedure)
            scope = Scope::Local;
        else if (ascii_word_at(v, ks, ke, "public") || ascii_word_at(v, ks, ke, "global"))
            scope = Scope::Global;
        const bool is_const = declaration.is_const;

        py::handle scope_member = member(scope);
        py::handle const_flag = is_const ? Py_True : Py_False;
        if (scope != Scope::Global && !target.key)
            target.key = in_procedure ? py::object(key_of(file_path, function_name)) : py::object(file_path);

        for (const DeclaredItem& item : declaration.items) {
            py::str name = host::substr(src, at + item.name_start, at + item.name_end);
            const VarType type = item.type_start >= 0
                                     ? variable_type_of(src, at + item.type_start, at + item.type_end)
                                     : type_of_character(item.type_character);
            const Issue verdict = verdict_of(name, scope, type, item.is_array, is_const);
            py::handle correct = verdict.issue ? verdict.suggestion : Py_None;
            py::handle issue = verdict.issue ? verdict.issue : Py_None;
            py::object record = new_record(RecordKind::Variable,
                                           {name, name, scope_member, member(type),
                                            item.is_array ? Py_True : Py_False, file_path, line_num,
                                            function_name, const_flag, correct, issue});
            if (scope == Scope::Global) {
                if (PyList_Append(global_variables.ptr(), record.ptr()) < 0) throw py::error_already_set();
            } else {
                if (!target.list) target.list = list_under(in_procedure ? local_variables : module_variables,
                                                           target.key);
                if (PyList_Append(target.list.ptr(), record.ptr()) < 0) throw py::error_already_set();
            }
        }
    } catch (...) {
        // Printing runs host code, which may change the maps: look the list up again.
        target.list = py::object();
        py::str message = failure_text();
        print_parts({u8("解析变量声明时出错 (行 "), py::str(line_num), u8("): "), line.str(), u8(" - "), message});
    }
}

void ModuleParser::parse_definition(bool is_enum, const py::str& line, const py::int_& line_num,
                                    const py::str& file_path) {
    const StrView v(line);
    DefinitionMatch match;
    if (!match_definition(v, is_enum ? "enum" : "type", match)) return;
    py::str name = host::substr(line, match.name_start, match.name_end);
    const bool is_private = match.scope_start >= 0 && ascii_word_at(v, match.scope_start, match.scope_end, "private");
    py::str scope(is_private ? "private" : "public");

    py::str prefix(is_enum ? "enum_" : "type_");
    const Py_ssize_t compliant = PyUnicode_Tailmatch(name.ptr(), prefix.ptr(), 0, PY_SSIZE_T_MAX, -1);
    if (compliant < 0) throw py::error_already_set();
    py::object suggestion = py::none(), issue = py::none();
    if (compliant == 0) {
        suggestion = concat(prefix, name);
        issue = u8(is_enum ? "Enum定义应以 'enum_' 为前缀" : "Type定义应以 'type_' 为前缀");
    }
    py::set referenced_files;
    py::object record = new_record(RecordKind::Type, {name, name, py::str(is_enum ? "Enum" : "Type"), file_path,
                                                      line_num, scope, suggestion, issue, py::int_(0),
                                                      referenced_files});
    store(is_enum ? enums : types, key_of(file_path, name), record);
}

}  // namespace tallowby::vba
