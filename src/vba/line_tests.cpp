#include "vba/line_tests.hpp"

#include <string_view>

namespace tallowby::vba {

namespace {

using host::is_space;
using host::StrView;

Py_ssize_t skip_space(const StrView& v, Py_ssize_t p) {
    while (p < v.size() && is_space(v[p])) ++p;
    return p;
}

bool space_at(const StrView& v, Py_ssize_t p) { return p < v.size() && is_space(v[p]); }

Py_ssize_t len(std::string_view s) { return static_cast<Py_ssize_t>(s.size()); }

// The letter that a keyword starting at p would begin with under the host's
// ignore-case matching (lower case), or 0 when no ASCII keyword can start
// there. Lets the tests turn down most lines after one look.
char keyword_initial(const StrView& v, Py_ssize_t p) {
    if (p >= v.size()) return 0;
    const Py_UCS4 c = v[p];
    if (c < 128) {
        const char lower = static_cast<char>(c | 32);
        return (lower >= 'a' && lower <= 'z') ? lower : 0;
    }
    switch (c) {
        case 0x130: case 0x131: return 'i';
        case 0x17F: return 's';
        case 0x212A: return 'k';
        default: return 0;
    }
}

// Keyword `kw` at p followed by white space (ignoring case).
bool word_then_space(const StrView& v, Py_ssize_t p, std::string_view kw) {
    return v.starts_with_ignorecase(p, kw) && space_at(v, p + len(kw));
}

// ^\s*(Public|Private)\s+KW\s+
bool scoped_definition(const StrView& v, std::string_view kw) {
    const Py_ssize_t p = skip_space(v, 0);
    for (std::string_view modifier : {"public", "private"}) {
        if (word_then_space(v, p, modifier) && word_then_space(v, skip_space(v, p + len(modifier)), kw))
            return true;
    }
    return false;
}

// (Function|Sub|Property\s+(Get|Let|Set))\s+ at p: the end of the keyword
// (before the white space), or -1.
Py_ssize_t procedure_keyword_end(const StrView& v, Py_ssize_t p) {
    for (std::string_view kw : {"function", "sub"})
        if (word_then_space(v, p, kw)) return p + len(kw);
    if (word_then_space(v, p, "property")) {
        const Py_ssize_t q = skip_space(v, p + len("property"));
        for (std::string_view accessor : {"get", "let", "set"})
            if (word_then_space(v, q, accessor)) return q + len(accessor);
    }
    return -1;
}

// (Static\s+)? then the procedure keyword, from p.
Py_ssize_t keyword_after_static(const StrView& v, Py_ssize_t p, Py_ssize_t& keyword_at) {
    if (word_then_space(v, p, "static")) {
        const Py_ssize_t q = skip_space(v, p + len("static"));
        const Py_ssize_t e = procedure_keyword_end(v, q);
        if (e >= 0) {
            keyword_at = q;
            return e;
        }
    }
    keyword_at = p;
    return procedure_keyword_end(v, p);
}

}  // namespace

Py_ssize_t procedure_keyword_at(const StrView& v, Py_ssize_t& keyword_end) {
    const Py_ssize_t p = skip_space(v, 0);
    Py_ssize_t at = -1;
    for (std::string_view modifier : {"public", "private", "friend"}) {
        if (v.starts_with_ignorecase(p, modifier)) {
            // The blank after the modifier may be missing ("PrivateSub").
            const Py_ssize_t e = keyword_after_static(v, skip_space(v, p + len(modifier)), at);
            if (e >= 0) {
                keyword_end = e;
                return at;
            }
            break;  // the modifiers differ within their first letters: only one can match
        }
    }
    const Py_ssize_t e = keyword_after_static(v, p, at);
    if (e < 0) return -1;
    keyword_end = e;
    return at;
}

bool is_function_definition(const StrView& line) {
    // Public, Private, Friend, Static, Function, Sub or Property comes first.
    const char c = keyword_initial(line, skip_space(line, 0));
    if (c != 'p' && c != 'f' && c != 's') return false;
    Py_ssize_t end = 0;
    return procedure_keyword_at(line, end) >= 0;
}

bool is_procedure_end(const StrView& line) {
    return line.starts_with(0, "End Function") || line.starts_with(0, "End Sub") ||
           line.starts_with(0, "End Property");
}

bool continues(const StrView& v) {
    const Py_ssize_t n = v.size();
    if (n == 0 || v[n - 1] != '_') return false;
    return n == 1 || is_space(v[n - 2]);
}

bool opens_with_declaration_keyword(const StrView& line) {
    const Py_ssize_t p = skip_space(line, 0);
    const char c = keyword_initial(line, p);
    if (c != 'p' && c != 'g' && c != 'd' && c != 'c' && c != 's') return false;
    for (std::string_view kw : kDeclarationKeywords)
        if (word_then_space(line, p, kw)) return true;
    return false;
}

bool is_variable_declaration(const StrView& line) {
    return opens_with_declaration_keyword(line) && !is_function_definition(line);
}

bool is_type_header(const StrView& line) {
    return line.starts_with(0, "Type ") || (keyword_initial(line, skip_space(line, 0)) == 'p' && scoped_definition(line, "type"));
}

bool is_enum_header(const StrView& line) {
    return line.starts_with(0, "Enum ") || (keyword_initial(line, skip_space(line, 0)) == 'p' && scoped_definition(line, "enum"));
}

}  // namespace tallowby::vba
