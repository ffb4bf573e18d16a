// Registration of the parser's passes over the whole model: references,
// Type and Enum counts, parameter check and the issue list.
#pragma once

#include <pybind11/pybind11.h>

#include "vba/module_parser.hpp"

namespace tallowby::vba {

// Adds the operations of the passes to VBAParser.
void register_passes(pybind11::class_<ModuleParser>& cls);

}  // namespace tallowby::vba
