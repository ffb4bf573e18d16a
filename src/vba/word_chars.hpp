// `\w` and `\s` runs of the host's `re` for the scanners of the module scan,
// with the ASCII letters, digits and "_" decided inline before the Unicode
// tables are asked.
#pragma once

#include <string_view>

#include "host/text.hpp"

namespace tallowby::vba {

inline bool word_char(Py_UCS4 c) {
    if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    return host::is_word(c);
}

// The type characters that may follow a name: % & ! # @ $ ^
inline bool is_type_character(Py_UCS4 c) {
    return c == '%' || c == '&' || c == '!' || c == '#' || c == '@' || c == '$' || c == '^';
}

inline Py_ssize_t len(std::string_view s) { return static_cast<Py_ssize_t>(s.size()); }

// The end of the run of white space / word characters from p.
inline Py_ssize_t space_run_end(const host::StrView& v, Py_ssize_t p) {
    while (p < v.size() && host::is_space(v[p])) ++p;
    return p;
}
inline Py_ssize_t word_run_end(const host::StrView& v, Py_ssize_t p) {
    while (p < v.size() && word_char(v[p])) ++p;
    return p;
}

}  // namespace tallowby::vba
