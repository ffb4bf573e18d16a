// The declaration pattern of the module scan, matched by hand:
//   ^\s*(Public|Private|Global|Dim|Const)\s+(?:(Const)\s+)?(?P<names>.+?)\s+As\s+(?:New\s+)?(?P<type>\w+)
//   (?:\s*\([^)]*\))?\s*(?:=\s*.+)?$
// ignoring case, with the host's `re` semantics (Unicode \s and \w, "." not
// matching "\n", "$" also before a final "\n"), including the order in which
// the host's engine tries the alternatives, so that the groups are the ones
// it reports.
#pragma once

#include "host/text.hpp"
#include "vba/word_chars.hpp"

namespace tallowby::vba {

struct DeclarationMatch {
    // [start, end) of each group; const_start < 0 when the group did not take part.
    Py_ssize_t keyword_start, keyword_end;
    Py_ssize_t const_start = -1, const_end = -1;
    Py_ssize_t names_start, names_end;
    Py_ssize_t type_start, type_end;
};

bool match_declaration(const host::StrView& line, DeclarationMatch& out);

}  // namespace tallowby::vba
