// What the power-pin and pattern columns of a job sheet share: sheet paths,
// text cells, log lines, the category prefix and evaluated spec values.
#pragma once

#include <pybind11/pybind11.h>

#include "host/text.hpp"

namespace tallowby::engine {
namespace py = pybind11;

using host::concat;  // a + b for two texts

// Whether `value` is the empty text.
bool is_empty_text(py::handle value);

// The folder and a name joined by the platform's path join (os.path.join).
py::str path_join(py::handle folder, py::handle name);

// A text cell of a worksheet: the empty text leaves a blank cell (kept only
// when it has a format); any other text is stored as a string as it is,
// never taken for a formula, a link or a number.
void write_text(py::handle sheet, py::handle row, py::handle col, py::handle text, py::handle cell_format = py::none());

// A cell of the check workbook: a text through write_text, so that no text
// of a sheet ever becomes a formula or a link; a plain int or float through
// write_number; any other value (a missing value, a numpy number) through
// the worksheet's write().
void write_cell(py::handle sheet, py::handle row, py::handle col, py::handle value,
                py::handle cell_format = py::none());

// A log line of the engine that also goes to standard output.
void log_and_print(py::handle engine, const py::str& line);

// Whether `suite` names a test instance of the job; if not, says so in the
// log and on standard output ("Info: cannot found ... in Test Instance").
bool known_test_suite(py::handle engine, py::handle suite);

// A DC or AC category as the spec look-ups take it: `context_env` put in
// front of a category that starts with "::" when it is not "".
py::object category_in_context(py::handle engine, py::handle category);

// A level, clamp, period or clock text with its spec variables resolved by
// the engine's own __spec_calculation.
py::str resolve_through_engine(py::handle engine, py::handle text, py::handle spec_dict, py::handle category,
                               py::handle selector);

// The number of a resolved text: normalised by format_str, then evaluated.
py::object evaluate_resolved(py::handle resolved_text);

}  // namespace tallowby::engine
