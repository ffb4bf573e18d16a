#include "vba/identifiers.hpp"

#include <algorithm>
#include <array>
#include <string>

#include "host/text.hpp"

namespace tallowby::vba {

namespace {

// Reserved words of the language and its built-in type, conversion and
// statement names, in lower case and sorted.
constexpr std::array<std::string_view, 143> kReserved = {
    "addressof", "and", "any", "as", "attribute", "boolean", "byref", "byte", "byval", "call", "case", "cbool",
    "cbyte", "ccur", "cdate", "cdbl", "cdec", "cint", "clng", "clnglng", "clngptr", "close", "const", "csng",
    "cstr", "currency", "cvar", "cverr", "date", "debug", "decimal", "declare", "defbool", "defbyte", "defcur",
    "defdate", "defdbl", "defdec", "defint", "deflng", "deflnglng", "deflngptr", "defobj", "defsng", "defstr",
    "defvar", "dim", "do", "doevents", "double", "each", "else", "elseif", "empty", "end", "endif", "enum", "eqv",
    "erase", "error", "event", "exit", "false", "fix", "for", "friend", "function", "get", "global", "gosub",
    "goto", "if", "imp", "implements", "in", "input", "int", "integer", "is", "lbound", "len", "lenb", "let", "lib",
    "like", "lock", "long", "longlong", "longptr", "loop", "lset", "me", "mod", "new", "next", "not", "nothing",
    "null", "object", "on", "open", "option", "optional", "or", "paramarray", "preserve", "print", "private",
    "property", "ptrsafe", "public", "put", "raiseevent", "redim", "rem", "resume", "return", "rset", "seek",
    "select", "set", "sgn", "single", "static", "step", "stop", "string", "sub", "then", "to", "true", "type",
    "typeof", "ubound", "unlock", "until", "variant", "wend", "while", "with", "withevents", "write", "xor"};

constexpr bool sorted_reserved() {
    for (size_t i = 1; i < kReserved.size(); ++i)
        if (!(kReserved[i - 1] < kReserved[i])) return false;
    return true;
}
static_assert(sorted_reserved());

bool letter(char32_t c) {
    if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return Py_UNICODE_ISALPHA(c);
}

bool name_char(char32_t c) {
    if (c < 128) return letter(c) || (c >= '0' && c <= '9') || c == '_';
    return Py_UNICODE_ISALNUM(c);
}

std::u32string code_points(py::handle s) {
    const host::StrView v(s);
    std::u32string out(static_cast<size_t>(v.size()), U'\0');
    for (Py_ssize_t i = 0; i < v.size(); ++i) out[static_cast<size_t>(i)] = v[i];
    return out;
}

}  // namespace

bool has_name_form(std::u32string_view name) {
    if (name.empty() || name.size() > 255 || !letter(name[0])) return false;
    return std::all_of(name.begin() + 1, name.end(), name_char);
}

bool is_vba_keyword(std::u32string_view name) {
    if (name.size() > 16) return false;
    std::string lowered;
    for (char32_t c : name) {
        if (c >= 128) return false;
        lowered.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(lowered));
}

bool is_vba_identifier(py::handle name) {
    if (!PyUnicode_Check(name.ptr()) || PyUnicode_GET_LENGTH(name.ptr()) > 255) return false;
    return is_vba_identifier(code_points(name));
}

py::str name_key(py::handle name) { return host::lower(name); }

}  // namespace tallowby::vba
