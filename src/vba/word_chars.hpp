// `\w` of the host's `re` for the scanners of the module scan, with the
// ASCII letters, digits and "_" decided inline before the Unicode tables
// are asked.
#pragma once

#include "host/text.hpp"

namespace tallowby::vba {

inline bool word_char(Py_UCS4 c) {
    if (c < 128) return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    return host::is_word(c);
}

}  // namespace tallowby::vba
