#include "vba/header_match.hpp"

#include <string_view>

#include "vba/line_tests.hpp"

namespace tallowby::vba {

namespace {

using host::is_space;
using host::StrView;

// The first of `words` (lower case) that the text at p starts with, ignoring
// case; its length, or 0.
Py_ssize_t keyword_at(const StrView& v, Py_ssize_t p, std::initializer_list<std::string_view> words) {
    for (std::string_view w : words)
        if (v.starts_with_ignorecase(p, w)) return len(w);
    return 0;
}

// \s+(\w+) from p: the name's bounds.
bool name_after(const StrView& v, Py_ssize_t p, Py_ssize_t& start, Py_ssize_t& end) {
    const Py_ssize_t name_start = space_run_end(v, p);
    if (name_start == p) return false;
    const Py_ssize_t name_end = word_run_end(v, name_start);
    if (name_end == name_start) return false;
    start = name_start;
    end = name_end;
    return true;
}

}  // namespace

// The position of the ")" that closes the "(" at `open`: parentheses are
// counted, and text inside string literals ("..." with "" for a quote) and
// after a comment mark outside them is passed over. -1 when it is never closed.
Py_ssize_t closing_parenthesis(const StrView& v, Py_ssize_t open) {
    long depth = 0;
    bool in_string = false;
    for (Py_ssize_t i = open; i < v.size(); ++i) {
        const Py_UCS4 c = v[i];
        if (in_string) {
            if (c == '"') in_string = false;  // a doubled quote closes and reopens
            continue;
        }
        if (c == '"') {
            in_string = true;
        } else if (c == '\'') {
            return -1;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) return i;
        }
    }
    return -1;
}

// A header: the optional modifier and Static, the procedure keyword (Function,
// Sub, Property Get / Let / Set), white space and the name (a run of word
// characters, optionally followed by a type character), then optionally the
// parameter list in parentheses. The list ends at the ")" that closes its
// "(" (strings and a trailing comment do not count); a list never closed ends
// at the last ")" of the line, and without one it is absent.
bool match_header(const StrView& v, HeaderMatch& m) {
    Py_ssize_t keyword_end = 0;
    if (procedure_keyword_at(v, keyword_end) < 0) return false;
    if (!name_after(v, keyword_end, m.name_start, m.name_end)) return false;
    m.params_start = m.params_end = -1;
    Py_ssize_t after = m.name_end;
    if (after < v.size() && is_type_character(v[after])) ++after;
    const Py_ssize_t open = space_run_end(v, after);
    if (open < v.size() && v[open] == '(') {
        Py_ssize_t close = closing_parenthesis(v, open);
        if (close < 0) {
            Py_ssize_t stop = v.find('\n', open + 1);
            if (stop < 0) stop = v.size();
            for (Py_ssize_t i = stop - 1; i > open; --i) {
                if (v[i] == ')') {
                    close = i;
                    break;
                }
            }
        }
        if (close > open) {
            m.params_start = open + 1;
            m.params_end = close;
        }
    }
    return true;
}

bool match_parameter(const StrView& v, ParameterMatch& m) {
    m.mode_start = m.mode_end = -1;
    Py_ssize_t name_start = -1;
    if (const Py_ssize_t n = keyword_at(v, 0, {"byval", "byref"})) {
        const Py_ssize_t q = space_run_end(v, n);
        if (q < v.size() && word_char(v[q])) {
            m.mode_start = 0;
            m.mode_end = n;
            name_start = q;
        }
    }
    if (name_start < 0) {
        name_start = space_run_end(v, 0);
        if (name_start >= v.size() || !word_char(v[name_start])) return false;
    }
    const Py_ssize_t name_end = word_run_end(v, name_start);
    m.name_start = name_start;
    m.name_end = name_end;
    m.type_start = m.type_end = -1;
    const Py_ssize_t a = space_run_end(v, name_end);
    if (v.starts_with_ignorecase(a, "as") && a + 2 < v.size() && is_space(v[a + 2])) {
        const Py_ssize_t t0 = space_run_end(v, a + 2);
        Py_ssize_t t = t0;
        while (t < v.size() && (word_char(v[t]) || v[t] == '[' || v[t] == ']')) ++t;
        if (t > t0) {
            m.type_start = t0;
            m.type_end = t;
        }
    }
    return true;
}

bool match_definition(const StrView& v, std::string_view keyword, DefinitionMatch& m) {
    const Py_ssize_t p0 = space_run_end(v, 0);
    Py_ssize_t kw_at = p0;
    m.scope_start = m.scope_end = -1;
    if (const Py_ssize_t n = keyword_at(v, p0, {"public", "private"})) {
        // Type and Enum cannot start where a scope word does.
        m.scope_start = p0;
        m.scope_end = p0 + n;
        kw_at = space_run_end(v, p0 + n);
    }
    if (!v.starts_with_ignorecase(kw_at, keyword)) return false;
    const Py_ssize_t s = kw_at + len(keyword);
    if (!name_after(v, s, m.name_start, m.name_end)) return false;
    return true;
}

}  // namespace tallowby::vba
