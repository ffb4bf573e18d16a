// Carrying recorded renames out on the ".bas" modules: every record not yet
// written is planned together with the others over all modules of the parse
// (rename_plan), each module to change is backed up byte for byte, and the
// new modules replace the old ones only once all of them are written out.
#pragma once

#include <pybind11/pybind11.h>

#include "host/text.hpp"
#include "refactor/change_records.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

// The refactorer's line tests (the line as given): a Function or Sub header,
// and a line opening with a declaration keyword (procedure headers such as
// "Public Sub" included).
bool is_function_header(const host::StrView& line);
bool is_declaration(const host::StrView& line);

// Applies every record of `changes_made` that is not written yet. A record
// that is refused, or whose modules cannot all be written, is printed and
// taken out of `changes_made`; state.failed then says so.
void apply_all_changes(py::handle self, Refactorer& state);

}  // namespace tallowby::refactor
