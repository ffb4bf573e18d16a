// The per-line tests of the module scan: whether a line opens a procedure,
// declares a variable, or starts a Type or Enum definition. Hand-written
// scanners giving what the host's `re` gives (ignore-case, Unicode \s) for
//   ^\s*(Public|Private|Friend)?\s*(Static\s+)?(Function|Sub|Property\s+(Get|Let|Set))\s+
//   ^\s*(Public|Private|Global|Dim|Const|Static)\s+
//   ^\s*(Public|Private)\s+Type\s+               ^\s*(Public|Private)\s+Enum\s+
#pragma once

#include <string_view>

#include "host/text.hpp"

namespace tallowby::vba {

// The keywords that open a declaration, in lower case.
inline constexpr std::string_view kDeclarationKeywords[] = {"public", "private", "global", "dim", "const", "static"};

// A Function, Sub or Property Get / Let / Set header.
bool is_function_definition(const host::StrView& line);
// Where the procedure keyword (Function, Sub, Property) of a header starts,
// after the optional modifier and Static; -1 when the line is no header.
// `keyword_end` is set past the keyword (past Get / Let / Set for Property).
Py_ssize_t procedure_keyword_at(const host::StrView& line, Py_ssize_t& keyword_end);
// The closing line of a procedure: "End Function", "End Sub" or
// "End Property" at the start (exact case).
bool is_procedure_end(const host::StrView& line);
// Whether a stripped line goes on in the next one (it ends in white space
// and "_", or is "_" alone).
bool continues(const host::StrView& stripped);
// A declaration keyword and white space at the start (headers such as
// "Public Sub" included): ^\s*(Public|Private|Global|Dim|Const|Static)\s+
bool opens_with_declaration_keyword(const host::StrView& line);
// A declaration line: a declaration keyword and white space, and no header.
bool is_variable_declaration(const host::StrView& line);
// The scan's Type (Enum) header test: "Type " ("Enum ") at the start, exact
// case, or a Public/Private Type (Enum) header in any case.
bool is_type_header(const host::StrView& line);
bool is_enum_header(const host::StrView& line);

}  // namespace tallowby::vba
