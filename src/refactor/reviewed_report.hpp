// The renames that an engineer confirmed in a reviewed dry-run workbook: the
// rows marked true in the confirm column of its three variable sheets.
#pragma once

#include <pybind11/pybind11.h>

#include "refactor/change_records.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

// Records every confirmed row through self._add_change, lists them and has
// self._apply_all_changes apply everything recorded. True when rows were
// recorded, every confirmed row was read and every record was written.
bool apply_changes_from_excel(py::handle self, Refactorer& state, const py::str& excel_path);

}  // namespace tallowby::refactor
