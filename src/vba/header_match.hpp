// The procedure header, parameter and Type / Enum header readers of the
// module scan. A header is read as VBA writes it (see match_header); the
// parameter pieces and the Type / Enum headers are matched by hand as
//   ^(ByVal|ByRef)?\s*(?P<name>\w+)\s*(As\s+(?P<type>[\w\[\]]+))?
//   ^\s*(?P<scope>Public|Private)?\s*Type\s+(?P<name>\w+)    (Enum in place of Type)
// both ignoring case, with the host's `re` semantics (Unicode \s and \w, "."
// not matching "\n") and the groups its engine reports.
#pragma once

#include <string_view>

#include "host/text.hpp"
#include "vba/word_chars.hpp"

namespace tallowby::vba {

struct HeaderMatch {
    // [start, end) of each group; params_start < 0 when the group did not take part.
    Py_ssize_t name_start, name_end;
    Py_ssize_t params_start = -1, params_end = -1;
};

struct ParameterMatch {
    // mode_start / type_start < 0 when the group did not take part.
    Py_ssize_t mode_start = -1, mode_end = -1;
    Py_ssize_t name_start, name_end;
    Py_ssize_t type_start = -1, type_end = -1;
};

struct DefinitionMatch {
    Py_ssize_t scope_start = -1, scope_end = -1;  // scope_start < 0: no scope word
    Py_ssize_t name_start, name_end;
};

bool match_header(const host::StrView& line, HeaderMatch& out);
// The ")" closing the "(" at `open`, strings and comments passed over; -1 when none.
Py_ssize_t closing_parenthesis(const host::StrView& line, Py_ssize_t open);
bool match_parameter(const host::StrView& piece, ParameterMatch& out);
// `keyword` in lower case: "type" or "enum".
bool match_definition(const host::StrView& line, std::string_view keyword, DefinitionMatch& out);

}  // namespace tallowby::vba
