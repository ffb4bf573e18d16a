// Carrying recorded renames out on the ".bas" modules: grouping by module,
// the backup copy, the reference pass over every use, the declaration pass
// over each record's own line, and writing the module back.
#pragma once

#include <pybind11/pybind11.h>

#include "host/text.hpp"
#include "refactor/change_records.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

// `text` with every whole-word occurrence of `name` (literal, exact case)
// replaced by `replacement`, inserted as it stands; `text` itself when there
// is none. A whole word has a word boundary (as `\b` of the host's `re`)
// just before and just after it.
py::str replace_whole_words(py::handle text, py::handle name, py::handle replacement);

// The refactorer's line tests (the line as given; the pass gives it stripped):
// a Function or Sub header, and a line opening with a declaration keyword
// (procedure headers such as "Public Sub" included).
bool is_function_header(const host::StrView& line);
bool is_declaration(const host::StrView& line);

// Groups the records of `changes_made` by module and has self._apply_changes_to_file
// apply each group, modules in the order they first occur.
void apply_all_changes(py::handle self, Refactorer& state);

// Backs up, renames and rewrites one module read by the parser; a module the
// parser has not read is passed over.
void apply_changes_to_file(py::handle self, Refactorer& state, const py::str& file_path, const py::list& changes);

// The reference pass: renames the uses in `lines` (in place), leaving alone
// procedure headers, declarations, Type/Enum headers and procedure ends, VBA
// keywords and the names of the module's own procedures.
void apply_references(Refactorer& state, const py::list& lines, const py::dict& mapping, const py::str& file_path);

}  // namespace tallowby::refactor
