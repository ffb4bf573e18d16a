// The command of the VBT tools: check a folder of ".bas" modules and write
// the dry-run report, or apply the renames confirmed in a reviewed report and
// write the refactor report.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::refactor {
namespace py = pybind11;

// Runs the command on sys.argv. A usage error, or a refactoring that left a
// confirmed rename unapplied, ends the process with status 1
// (SystemExit(1)); otherwise it returns.
void run_command_line(py::module_ quillon);

}  // namespace tallowby::refactor
