// The declaration reader of the module scan: one declaration statement read
// as VBA reads it.
//
//   [Public|Private|Global|Dim|Const|Static] [Const] [WithEvents] item {, item}
//   item: name[type character][(bounds)] [As [New] type [* length]] [= value]
//
// The statement ends at the end of the line, at a comment (') or at a ":"
// that starts the next statement; commas inside bounds, parentheses and
// strings do not separate items. Declare and Event statements declare no
// variable. Keywords are matched ignoring case as the host's `re` does.
#pragma once

#include <vector>

#include "host/text.hpp"
#include "vba/word_chars.hpp"

namespace tallowby::vba {

struct DeclaredItem {
    Py_ssize_t name_start, name_end;  // the identifier alone
    Py_ssize_t type_start = -1, type_end = -1;  // the type after "As"; type_start < 0 when none
    Py_UCS4 type_character = 0;  // % & ! # @ $ ^ after the name, or 0
    bool is_array = false;  // bounds follow the name
};

struct Declaration {
    Py_ssize_t keyword_start, keyword_end;  // the first keyword
    bool is_const = false;  // Const first or after the scope keyword
    std::vector<DeclaredItem> items;
};

// Reads a declaration statement; false (and no items) when the text is none
// or does not read as one.
bool read_declaration(const host::StrView& line, Declaration& out);

}  // namespace tallowby::vba
