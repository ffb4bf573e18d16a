// The declaration readers of the module scan: variable declarations (with
// their naming verdicts), Type and Enum definitions, procedure parameter
// lists and variable types.
#include <cstring>
#include <string_view>
#include <utility>

#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"
#include "vba/declaration_match.hpp"
#include "vba/header_match.hpp"
#include "vba/module_parser.hpp"
#include "vba/naming_rules.hpp"
#include "vba/records.hpp"

namespace tallowby::vba {

namespace {

using host::concat;
using host::failure_text;
using host::print_parts;
using host::StrView;
using host::truthy;

py::str u8(std::string_view s) { return host::from_utf8(s); }

void steal_into_tuple(PyObject* tuple, Py_ssize_t i, PyObject* item) { PyTuple_SET_ITEM(tuple, i, item); }

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

// The list under `key`, stored as a new list when missing.
py::object list_under(py::dict& map, py::handle key) {
    py::list fresh;
    PyObject* list = host::check(PyDict_SetDefault(map.ptr(), key.ptr(), fresh.ptr()));
    return py::reinterpret_borrow<py::object>(list);
}

}  // namespace

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
        PyObject* triple = host::check(PyTuple_New(3));
        py::object owner = py::reinterpret_steal<py::object>(triple);
        steal_into_tuple(triple, 0, host::substr(s, at + m.name_start, at + m.name_end).release().ptr());
        steal_into_tuple(triple, 1, m.type_start < 0 ? py::object(*variant).release().ptr()
                                                     : host::substr(s, at + m.type_start, at + m.type_end).release().ptr());
        steal_into_tuple(triple, 2, m.mode_start < 0 ? py::object(*empty).release().ptr()
                                                     : host::substr(s, at + m.mode_start, at + m.mode_end).release().ptr());
        host::check(PyList_Append(parameters.ptr(), triple));
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
            target.key = in_procedure ? py::object(procedure_key(file_path, function_name)) : py::object(file_path);

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
                host::check(PyList_Append(global_variables.ptr(), record.ptr()));
            } else {
                if (!target.list) target.list = list_under(in_procedure ? local_variables : module_variables,
                                                           target.key);
                host::check(PyList_Append(target.list.ptr(), record.ptr()));
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
    const Py_ssize_t compliant = host::check(PyUnicode_Tailmatch(name.ptr(), prefix.ptr(), 0, PY_SSIZE_T_MAX, -1));
    py::object suggestion = py::none(), issue = py::none();
    if (compliant == 0) {
        suggestion = concat(prefix, name);
        issue = u8(is_enum ? "Enum定义应以 'enum_' 为前缀" : "Type定义应以 'type_' 为前缀");
    }
    py::set referenced_files;
    py::object record = new_record(RecordKind::Type, {name, name, py::str(is_enum ? "Enum" : "Type"), file_path,
                                                      line_num, scope, suggestion, issue, py::int_(0),
                                                      referenced_files});
    host::set_item(is_enum ? enums : types, procedure_key(file_path, name), record);
}

}  // namespace tallowby::vba
