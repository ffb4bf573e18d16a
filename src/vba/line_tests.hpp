// The per-line tests of the module scan: whether a line opens a procedure,
// declares a variable, or starts a Type or Enum definition. Hand-written
// scanners giving what the host's `re` gives (ignore-case, Unicode \s) for
//   ^\s*(Public|Private|Friend)?\s*Function\s+   ^\s*(Public|Private|Friend)?\s*Sub\s+
//   ^\s*(Public|Private|Global|Dim|Const)\s+
//   ^\s*(Public|Private)\s+Type\s+               ^\s*(Public|Private)\s+Enum\s+
#pragma once

#include <string_view>

#include "host/text.hpp"

namespace tallowby::vba {

// The keywords that open a declaration, in lower case.
inline constexpr std::string_view kDeclarationKeywords[] = {"public", "private", "global", "dim", "const"};

// A Function or Sub header.
bool is_function_definition(const host::StrView& line);
// A declaration keyword and white space at the start (headers such as
// "Public Sub" included): ^\s*(Public|Private|Global|Dim|Const)\s+
bool opens_with_declaration_keyword(const host::StrView& line);
// A declaration line: a declaration keyword and white space, and no header.
bool is_variable_declaration(const host::StrView& line);
// The scan's Type (Enum) header test: "Type " ("Enum ") at the start, exact
// case, or a Public/Private Type (Enum) header in any case.
bool is_type_header(const host::StrView& line);
bool is_enum_header(const host::StrView& line);

}  // namespace tallowby::vba
