// The VBT naming rules. Names are worked on as code points; letters, digits
// and letter case are judged as the host's str methods judge them, with an
// inline test for ASCII before the Unicode tables are consulted.
#include "vba/naming_rules.hpp"

#include <array>
#include <string>
#include <string_view>

#include "host/checked.hpp"
#include "host/text.hpp"
#include "vba/naming_text.hpp"

namespace tallowby::vba {

namespace {

using Text = std::u32string;
using TextView = std::u32string_view;

// ---------------------------------------------------------------- characters

inline bool ascii_upper(char32_t c) { return c >= 'A' && c <= 'Z'; }
inline bool ascii_lower(char32_t c) { return c >= 'a' && c <= 'z'; }
inline bool ascii_digit(char32_t c) { return c >= '0' && c <= '9'; }
inline bool ascii_alnum(char32_t c) { return ascii_upper(c) || ascii_lower(c) || ascii_digit(c); }

// str.isupper() / islower() / isdigit() / isalnum() of one character.
inline bool is_upper(char32_t c) { return c < 128 ? ascii_upper(c) : Py_UNICODE_ISUPPER(c); }
inline bool is_lower(char32_t c) { return c < 128 ? ascii_lower(c) : Py_UNICODE_ISLOWER(c); }
inline bool is_digit(char32_t c) { return c < 128 ? ascii_digit(c) : Py_UNICODE_ISDIGIT(c); }
inline bool is_alnum(char32_t c) { return c < 128 ? ascii_alnum(c) : Py_UNICODE_ISALNUM(c); }

inline char32_t ascii_to_upper(char32_t c) { return ascii_lower(c) ? c - 32 : c; }
inline char32_t ascii_to_lower(char32_t c) { return ascii_upper(c) ? c + 32 : c; }

// ---------------------------------------------------------------- conversion

Text to_text(py::handle s) {
    host::StrView v(s);
    Text out(static_cast<size_t>(v.size()), U'\0');
    for (Py_ssize_t i = 0; i < v.size(); ++i) out[static_cast<size_t>(i)] = v[i];
    return out;
}

py::str to_str(TextView t) {
    bool ascii = true;
    for (char32_t c : t)
        if (c >= 128) {
            ascii = false;
            break;
        }
    PyObject* r;
    if (ascii) {
        r = PyUnicode_New(static_cast<Py_ssize_t>(t.size()), 127);
        if (r) {
            auto* dst = static_cast<char*>(PyUnicode_DATA(r));
            for (size_t i = 0; i < t.size(); ++i) dst[i] = static_cast<char>(t[i]);
        }
    } else {
        r = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, t.data(), static_cast<Py_ssize_t>(t.size()));
    }
    host::check(r);
    return py::reinterpret_steal<py::str>(r);
}

bool is_ascii_text(TextView t) {
    for (char32_t c : t)
        if (c >= 128) return false;
    return true;
}

// str.upper() / str.lower(): the full host mapping ('ß' -> 'SS', 'İ' -> 'i̇').
Text full_upper(TextView t) {
    if (is_ascii_text(t)) {
        Text out(t);
        for (char32_t& c : out) c = ascii_to_upper(c);
        return out;
    }
    return to_text(host::upper(to_str(t)));
}

Text full_lower(TextView t) {
    if (is_ascii_text(t)) {
        Text out(t);
        for (char32_t& c : out) c = ascii_to_lower(c);
        return out;
    }
    return to_text(host::lower(to_str(t)));
}

inline bool starts_with(TextView t, TextView p) { return t.substr(0, p.size()) == p; }
inline bool ends_with(TextView t, TextView s) { return t.size() >= s.size() && t.substr(t.size() - s.size()) == s; }

// ---------------------------------------------------------------- tables

struct SuffixEntry {
    VarType type;
    TextView scalar;
    TextView array;  // empty: the type has no array form
};

// Also the order in which suffixes are stripped.
constexpr std::array<SuffixEntry, 17> kSuffixes{{
    {VarType::Integer, U"_int", U"_aint"},
    {VarType::Long, U"_lng", U"_alng"},
    {VarType::Single, U"_sgl", U"_asgl"},
    {VarType::Double, U"_dbl", U"_adbl"},
    {VarType::String, U"_str", U"_astr"},
    {VarType::Boolean, U"_bool", U"_abool"},
    {VarType::Variant, U"_var", U""},
    {VarType::SiteLong, U"_SLNG", U"_aSLNG"},
    {VarType::SiteDouble, U"_SDBL", U"_aSDBL"},
    {VarType::SiteBoolean, U"_SBOOL", U"_aSBOOL"},
    {VarType::DspWave, U"_DSP", U""},
    {VarType::Enum, U"_enum", U""},
    {VarType::Type, U"_type", U""},
    {VarType::PinData, U"_PD", U""},
    {VarType::PinListData, U"_PLD", U""},
    {VarType::CSL, U"_CSL", U""},
    {VarType::Pattern, U"_PT", U""},
}};

// Indexed by Scope; also the order in which prefixes are stripped.
constexpr std::array<TextView, kScopeCount> kPrefixes{U"i_", U"m_", U"g_", U"i_", U"m_", U"v_"};

constexpr std::array<TextView, 3> kDirections{U"in_", U"out_", U"inout_"};

TextView suffix_of(std::optional<VarType> type, bool is_array) {
    if (!type) return {};
    for (const auto& e : kSuffixes)
        if (e.type == *type) return (is_array && !e.array.empty()) ? e.array : e.scalar;
    return {};
}

TextView prefix_of(std::optional<Scope> scope) {
    return scope ? kPrefixes[static_cast<size_t>(*scope)] : TextView{};
}

// Cuts at most one suffix per table entry, walking the table in order.
Text strip_suffixes(Text base) {
    for (const auto& e : kSuffixes) {
        if (ends_with(base, e.scalar)) {
            base.resize(base.size() - e.scalar.size());
        } else if (!e.array.empty() && ends_with(base, e.array)) {
            base.resize(base.size() - e.array.size());
        }
    }
    return base;
}

// Cuts the first scope prefix the name starts with.
Text strip_prefix(TextView name) {
    for (TextView p : kPrefixes)
        if (starts_with(name, p)) return Text(name.substr(p.size()));
    return Text(name);
}

// ---------------------------------------------------------------- text operations

bool camel_style(TextView name) {
    if (name.empty() || !is_upper(name[0])) return false;
    for (char32_t c : name)
        if (c != '_' && !is_alnum(c)) return false;
    return true;
}

void append_capitalized(Text& out, TextView word) {
    // Only ever called on ASCII letters and digits.
    out.push_back(ascii_to_upper(word[0]));
    for (size_t i = 1; i < word.size(); ++i) out.push_back(ascii_to_lower(word[i]));
}

Text camel(TextView name) {
    if (name.empty()) return {};
    bool plain = true;
    for (char32_t c : name)
        if (!ascii_alnum(c)) {
            plain = false;
            break;
        }
    Text out;
    out.reserve(name.size());
    if (!plain) {
        size_t i = 0;
        while (i < name.size()) {
            while (i < name.size() && !ascii_alnum(name[i])) ++i;
            size_t j = i;
            while (j < name.size() && ascii_alnum(name[j])) ++j;
            if (j > i) append_capitalized(out, name.substr(i, j - i));
            i = j;
        }
        return out;
    }
    if (ascii_upper(name[0])) return Text(name);
    append_capitalized(out, name);
    return out;
}

Text pascal_form(TextView base) { return camel_style(base) ? Text(base) : camel(base); }

Text snake(TextView s) {
    Text out;
    out.reserve(s.size() + 4);
    for (size_t i = 0; i < s.size(); ++i) {
        const char32_t c = s[i];
        if (i > 0 && is_upper(c) &&
            (is_lower(s[i - 1]) || is_digit(s[i - 1]) || (i + 1 < s.size() && is_lower(s[i + 1]))))
            out.push_back(U'_');
        out.push_back(c);
    }
    return out;
}

// Only A-Z, 0-9 and "_" (the pattern ^[A-Z0-9_]+$, whose $ also accepts one
// line end at the very end) and at least one letter.
bool all_capitals(TextView w) {
    if (!w.empty() && w.back() == U'\n') w.remove_suffix(1);
    if (w.empty()) return false;
    bool letter = false;
    for (char32_t c : w) {
        if (ascii_upper(c))
            letter = true;
        else if (!ascii_digit(c) && c != '_')
            return false;
    }
    return letter;
}

// ---------------------------------------------------------------- verdicts

NameVerdict compliant(const py::str& name) { return {name, py::none()}; }

NameVerdict verdict(TextView suggestion, TextView issue) { return {to_str(suggestion), to_str(issue)}; }

Text quoted(TextView s) {
    Text out(U"'");
    out += s;
    out += U'\'';
    return out;
}

NameVerdict constant_verdict(const py::str& name, std::optional<Scope> scope, std::optional<VarType> type,
                             bool is_array) {
    const Text n = to_text(name);
    const TextView prefix = prefix_of(scope);
    const TextView suffix = suffix_of(type, is_array);
    if (starts_with(n, prefix)) {
        const TextView base = TextView(n).substr(prefix.size());
        if (!suffix.empty() && ends_with(base, suffix)) {
            if (all_capitals(base.substr(0, base.size() - suffix.size()))) return compliant(name);
        } else if (suffix.empty()) {
            if (all_capitals(base)) return compliant(name);
        } else {
            Text correct(prefix);
            correct += snake(full_upper(base));
            correct += suffix;
            return verdict(correct, U"常量名 " + quoted(n) + U" 应使用全大写和下划线格式，建议改为：" + quoted(correct));
        }
    }
    const Text base = strip_suffixes(strip_prefix(n));
    Text correct(prefix);
    correct += full_upper(snake(camel(base)));
    correct += suffix;
    return verdict(correct, U"常量名 " + quoted(n) + U" 应使用下划线全大写格式，建议改为：" + quoted(correct));
}

TextView scope_value(std::optional<Scope> scope) {
    static constexpr std::array<TextView, kScopeCount> values{U"local",         U"module_private", U"global",
                                                              U"class_private", U"class_public",   U"class_external"};
    return scope ? values[static_cast<size_t>(*scope)] : TextView{};
}

bool reserved(TextView n) {
    // Lower-casing never shortens a text, so longer names cannot match.
    if (n.size() > 4) return false;
    const Text l = full_lower(n);
    return l == U"i" || l == U"j" || l == U"k" || l == U"m" || l == U"n" || l == U"site";
}

}  // namespace

// ---------------------------------------------------------------- public operations

bool is_camel_style(const py::str& name) { return camel_style(to_text(name)); }

py::str to_camel_style(const py::str& name) {
    const Text n = to_text(name);
    const Text c = camel(n);
    return c == n ? name : to_str(c);
}

py::str camel_to_snake_case(const py::str& camel_str) {
    const Text s = to_text(camel_str);
    const Text r = snake(s);
    return r.size() == s.size() ? camel_str : to_str(r);
}

py::str type_suffix(std::optional<VarType> type, bool is_array) { return to_str(suffix_of(type, is_array)); }

NameVerdict variable_verdict(const py::str& name, std::optional<Scope> scope, std::optional<VarType> type,
                             bool is_array, bool is_const) {
    if (is_const) return constant_verdict(name, scope, type, is_array);

    const Text n = to_text(name);
    const bool local = scope == Scope::Local;

    if (reserved(n)) {
        if (local) {
            const Text l = full_lower(n);
            if (l != U"site" && type != VarType::Long)
                return {name, to_str(U"预留变量名 " + quoted(n) + U" 必须为 Long 类型")};
            if (l == U"site" && type != VarType::Variant)
                return {name, to_str(U"预留变量名 " + quoted(n) + U" 必须为 Variant 类型")};
            return compliant(name);
        }
        Text suggestion = U"g_" + n;
        suggestion += suffix_of(type, is_array);
        Text issue = U"预留变量名 " + quoted(n) + U" 不能在 ";
        issue += scope_value(scope);
        issue += U" 作用域使用";
        return verdict(suggestion, issue);
    }

    if (type == VarType::UserClass || type == VarType::PinList) {
        const TextView type_name = type == VarType::UserClass ? U"UserClass" : U"PinList";
        if (local) {
            const Text base = starts_with(n, U"i_") ? n.substr(2) : n;
            const Text pc = pascal_form(base);
            if (n == pc || n == U"i_" + pc) return compliant(name);
            return verdict(pc, Text(type_name) + U" 类型变量名 " + quoted(n) + U" 应为 PascalCaseStyle 格式");
        }
        const TextView p = prefix_of(scope);
        if (starts_with(n, p)) return compliant(name);
        return verdict(Text(p) + n, Text(type_name) + U" 类型变量需要作用域前缀 " + quoted(p));
    }

    const TextView t = suffix_of(type, is_array);
    if (local) {
        const Text base = strip_suffixes(starts_with(n, U"i_") ? n.substr(2) : n);
        const Text bare = pascal_form(base) + Text(t);
        const Text prefixed = U"i_" + bare;
        if (n == bare || n == prefixed) return compliant(name);
        return verdict(bare, U"变量命名不符合规范，建议使用 " + quoted(bare) + U" 或 " + quoted(prefixed));
    }
    const TextView p = prefix_of(scope);
    const Text expected = Text(p) + pascal_form(strip_suffixes(strip_prefix(n))) + Text(t);
    if (n == expected) return compliant(name);
    return verdict(expected, U"变量命名不符合规范，应为 " + quoted(expected));
}

NameVerdict parameter_verdict(const py::str& param_name, const py::str& byval_byref, std::optional<FuncType> kind) {
    if (!kind || *kind == FuncType::IP) return compliant(param_name);
    const Text p = to_text(param_name);

    TextView direction;
    for (TextView d : kDirections)
        if (starts_with(p, d)) {
            direction = d;
            break;
        }

    if (*kind == FuncType::VBT) {
        if (!direction.empty()) {
            const Text s = camel(TextView(p).substr(direction.size()));
            return verdict(s, U"VBT函数参数 " + quoted(p) + U" 不应有前缀，应为PascalCase格式：" + quoted(s));
        }
        if (!camel_style(p)) {
            const Text s = camel(p);
            return verdict(s, U"VBT函数参数 " + quoted(p) + U" 应为PascalCase格式：" + quoted(s));
        }
        return compliant(param_name);
    }

    // DSP and every other kind of procedure.
    if (PyUnicode_GET_LENGTH(byval_byref.ptr()) == 0)
        return {param_name, to_str(U"DSP/非VBT函数参数 " + quoted(p) + U" 必须指定ByVal或ByRef")};
    if (direction.empty()) {
        const Text s = U"in_" + camel(p);
        return verdict(s, U"DSP/非VBT函数参数 " + quoted(p) + U" 应有in_/out_/inout_前缀，建议：" + quoted(s));
    }
    const TextView base = TextView(p).substr(direction.size());
    if (!camel_style(base)) {
        const Text s = Text(direction) + camel(base);
        return verdict(s, U"DSP/非VBT函数参数 " + quoted(p) + U" 的基础名称应为PascalCase格式：" + quoted(s));
    }
    return compliant(param_name);
}

}  // namespace tallowby::vba
