// Starting the tester's pattern information tool.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

// Runs `patinfo <pattern_path> -tset` (the program found on PATH, started
// without a shell, so the path is one argument whatever it holds; a path
// that starts with "-" is given as "./" + path, so that it is never taken
// for an option) with its standard output written to `output_path`, which
// is created or emptied first (never through a symbolic link), and waits
// for it to end. Failing to create the output file raises
// the host's OSError for that path; a tool that is missing or fails is not an
// error: the output file then holds whatever the tool wrote, maybe nothing.
void run_pattern_tool(const py::str& pattern_path, const py::str& output_path);

}  // namespace tallowby::sheets
