#include "vba/declaration_match.hpp"

#include <string_view>

#include "vba/header_match.hpp"
#include "vba/line_tests.hpp"

namespace tallowby::vba {

namespace {

using host::is_space;
using host::StrView;

// Keyword `kw` (lower case) at p followed by white space.
bool word_then_space(const StrView& v, Py_ssize_t p, std::string_view kw) {
    return v.starts_with_ignorecase(p, kw) && p + len(kw) < v.size() && is_space(v[p + len(kw)]);
}

// Keyword `kw` at p as a whole word (not followed by a word character).
bool whole_word(const StrView& v, Py_ssize_t p, std::string_view kw) {
    return v.starts_with_ignorecase(p, kw) && (p + len(kw) >= v.size() || !word_char(v[p + len(kw)]));
}

// A name starts with a letter (of any script).
bool name_start(Py_UCS4 c) {
    if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return Py_UNICODE_ISALPHA(c);
}

// Where the statement ends: the end of the text, a comment mark, or a ":"
// that starts another statement.
bool statement_end(const StrView& v, Py_ssize_t p) {
    return p >= v.size() || v[p] == '\'' || v[p] == ':';
}

// Past an initial value from p: up to a comma outside parentheses, strings
// and date literals, or the end of the statement. -1 when a string or a
// parenthesis is left open.
Py_ssize_t past_value(const StrView& v, Py_ssize_t p) {
    long depth = 0;
    Py_ssize_t i = p;
    while (i < v.size()) {
        const Py_UCS4 c = v[i];
        if (c == '"') {
            ++i;
            while (true) {
                if (i >= v.size()) return -1;
                if (v[i] == '"') {
                    if (i + 1 < v.size() && v[i + 1] == '"') {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
            continue;
        }
        if (c == '#' && (i == p || !(word_char(v[i - 1]) || v[i - 1] == ')'))) {
            // A date literal (#12:30:00#) may hold colons and commas.
            const Py_ssize_t close = v.find('#', i + 1);
            if (close < 0) return -1;
            i = close + 1;
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth < 0) return -1;
        } else if (depth == 0 && (c == ',' || c == '\'' || (c == ':' && !(i + 1 < v.size() && v[i + 1] == '=')))) {
            return i;
        }
        ++i;
    }
    return depth == 0 ? i : -1;
}

// One item from p: its parts into `item`, and the position after it (before
// the separating comma or the statement's end), or -1.
Py_ssize_t read_item(const StrView& v, Py_ssize_t p, bool is_const, DeclaredItem& item) {
    p = space_run_end(v, p);
    if (p >= v.size() || !name_start(v[p])) return -1;
    item.name_start = p;
    item.name_end = p = word_run_end(v, p);
    if (p < v.size() && is_type_character(v[p])) item.type_character = v[p++];
    Py_ssize_t q = space_run_end(v, p);
    if (q < v.size() && v[q] == '(') {
        q = closing_parenthesis(v, q);
        if (q < 0) return -1;
        ++q;
        item.is_array = true;
        q = space_run_end(v, q);
    }
    if (word_then_space(v, q, "as")) {
        Py_ssize_t t = space_run_end(v, q + 2);
        if (word_then_space(v, t, "new")) t = space_run_end(v, t + 3);
        // The type: a name, or names joined by dots (Scripting.Dictionary).
        Py_ssize_t e = t;
        while (true) {
            const Py_ssize_t w = word_run_end(v, e);
            if (w == e) return -1;
            e = w;
            if (e < v.size() && v[e] == '.') {
                ++e;
                continue;
            }
            break;
        }
        item.type_start = t;
        item.type_end = e;
        q = space_run_end(v, e);
        // String * length
        if (q < v.size() && v[q] == '*') {
            const Py_ssize_t l = space_run_end(v, q + 1);
            const Py_ssize_t le = word_run_end(v, l);
            if (le == l) return -1;
            q = space_run_end(v, le);
        }
    }
    if (q < v.size() && v[q] == '=') {
        const Py_ssize_t e = past_value(v, q + 1);
        if (e < 0) return -1;
        q = e;
    } else if (is_const) {
        return -1;  // a constant has a value
    }
    return q;
}

}  // namespace

bool read_declaration(const StrView& v, Declaration& out) {
    out.items.clear();
    out.is_const = false;
    Py_ssize_t p = space_run_end(v, 0);
    std::string_view keyword;
    for (std::string_view kw : kDeclarationKeywords) {
        if (word_then_space(v, p, kw)) {
            keyword = kw;
            break;
        }
    }
    if (keyword.empty()) return false;
    out.keyword_start = p;
    out.keyword_end = p + len(keyword);
    p = space_run_end(v, out.keyword_end);
    out.is_const = keyword == "const";
    const bool scope_word = keyword == "public" || keyword == "private" || keyword == "global";
    if (scope_word) {
        // Statements that declare no variable.
        for (std::string_view other : {"declare", "event", "sub", "function", "property", "type", "enum",
                                       "static", "implements", "friend"})
            if (whole_word(v, p, other)) return false;
        if (word_then_space(v, p, "const")) {
            out.is_const = true;
            p = space_run_end(v, p + 5);
        }
    }
    if (!out.is_const && word_then_space(v, p, "withevents")) p = space_run_end(v, p + 10);

    while (true) {
        DeclaredItem item;
        const Py_ssize_t e = read_item(v, p, out.is_const, item);
        if (e < 0) {
            out.items.clear();
            return false;
        }
        out.items.push_back(item);
        if (e < v.size() && v[e] == ',') {
            p = e + 1;
            continue;
        }
        if (!statement_end(v, e)) {
            out.items.clear();
            return false;
        }
        return true;
    }
}

}  // namespace tallowby::vba
