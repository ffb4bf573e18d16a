// Reading a whole UTF-8 text file into its lines in one go, with the result of
// the host's text I/O: open(path, encoding="utf-8", errors="ignore").readlines().
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// open(path, encoding="utf-8", errors="ignore").readlines(), line for line:
// the file is opened with the host's open(path, "rb", 0) (so a missing file, a
// folder, a denied file or a path of the wrong type fail with the host's own
// exceptions and texts), read with one read and closed in every case; the bytes
// are decoded with the host's UTF-8 codec, undecodable bytes dropped, and the
// decoded text is split as by split_universal_lines.
py::list read_utf8_lines_ignoring_errors(py::handle path);

// The lines of a decoded text with universal newlines: CR LF and a lone CR are
// delivered as "\n"; only LF, CR and CR LF end a line; every line keeps its
// "\n" and the last one may have none; "" gives []. `text` must be an exact str.
py::list split_universal_lines(py::handle text);

}  // namespace tallowby::host
