// The last look at the suggested names of one parse, after every module is
// scanned: a suggestion that differs from its name only in letter case is no
// rename (VBA compares names ignoring case), a suggestion that is no VBA
// identifier is withdrawn with a note, and two names of one scope never get
// one suggestion.
#pragma once

#include "vba/module_parser.hpp"

namespace tallowby::vba {

// Scopes: the global variables together; the module variables of each
// module; the locals of each procedure; the Type and Enum definitions together.
void settle_suggestions(ModuleParser& parser);

// Whether a suggestion is the name in other letter case: no rename.
bool differs_only_in_case(const py::str& name, const py::str& suggestion);

}  // namespace tallowby::vba
