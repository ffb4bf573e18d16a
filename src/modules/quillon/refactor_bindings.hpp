// Registration of the refactorer class and of the command `main`.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::refactor {

// Defines VBTRefactorer on `m`.
void register_refactorer(pybind11::module_& m);
// Defines `main` on `m`.
void register_command_line(pybind11::module_& m);

}  // namespace tallowby::refactor
