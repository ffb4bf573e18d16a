#include "vba/identifiers.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "host/text.hpp"

namespace tallowby::vba {

namespace {

// Reserved words of the language and its built-in type and conversion names,
// in lower case and sorted.
constexpr std::array<std::string_view, 129> kReserved = {
    "and", "as", "attribute", "boolean", "byref", "byte", "byval", "call", "case", "cbool", "cbyte", "ccur",
    "cdate", "cdbl", "cdec", "cint", "clng", "clnglng", "clngptr", "close", "const", "csng", "cstr", "currency",
    "cvar", "cverr", "date", "debug", "decimal", "declare", "defbool", "defbyte", "defcur", "defdate", "defdbl",
    "defdec", "defint", "deflng", "deflnglng", "deflngptr", "defobj", "defsng", "defstr", "defvar", "dim", "do",
    "double", "each", "else", "elseif", "empty", "end", "endif", "enum", "eqv", "erase", "error", "event", "exit",
    "false", "for", "friend", "function", "get", "global", "gosub", "goto", "if", "imp", "implements", "in",
    "input", "integer", "is", "let", "lib", "like", "long", "longlong", "longptr", "loop", "lset", "me", "mod",
    "new", "next", "not", "nothing", "null", "object", "on", "open", "option", "optional", "or", "paramarray",
    "preserve", "print", "private", "property", "public", "put", "raiseevent", "redim", "rem", "resume", "return",
    "rset", "select", "set", "single", "static", "step", "stop", "string", "sub", "then", "to", "true", "type",
    "typeof", "until", "variant", "wend", "while", "with", "withevents", "write", "xor"};

constexpr bool sorted_reserved() {
    for (size_t i = 1; i < kReserved.size(); ++i)
        if (!(kReserved[i - 1] < kReserved[i])) return false;
    return true;
}
static_assert(sorted_reserved());

bool letter(Py_UCS4 c) {
    if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return Py_UNICODE_ISALPHA(c);
}

bool name_char(Py_UCS4 c) {
    if (c < 128) return letter(c) || (c >= '0' && c <= '9') || c == '_';
    return Py_UNICODE_ISALNUM(c);
}

}  // namespace

bool is_vba_keyword(py::handle name) {
    if (!PyUnicode_Check(name.ptr())) return false;
    const host::StrView v(name);
    if (v.size() > 16) return false;
    std::string lowered;
    for (Py_ssize_t i = 0; i < v.size(); ++i) {
        const Py_UCS4 c = v[i];
        if (c >= 128) return false;
        lowered.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return std::binary_search(kReserved.begin(), kReserved.end(), std::string_view(lowered));
}

bool is_vba_identifier(py::handle name) {
    if (!PyUnicode_Check(name.ptr())) return false;
    const host::StrView v(name);
    if (v.size() == 0 || v.size() > 255 || !letter(v[0])) return false;
    for (Py_ssize_t i = 1; i < v.size(); ++i)
        if (!name_char(v[i])) return false;
    return !is_vba_keyword(name);
}

py::str name_key(py::handle name) { return host::lower(name); }

}  // namespace tallowby::vba
