// Reading a whole module file into its lines in one go: one binary read,
// the encoding chosen from the bytes, universal newlines as the host's text
// I/O splits them.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// A VBA module as the parser reads it: the text is decoded as UTF-8 when its
// bytes are valid UTF-8 (a leading BOM dropped: "utf-8-sig"), otherwise as
// GB18030 when that decodes them strictly ("gb18030"; but as Big5 as Windows
// writes it, "cp950", when that reads them strictly and GB18030 gives
// private-use characters where Big5 gives none), otherwise as UTF-8
// with the undecodable bytes dropped ("utf-8-lossy", a leading BOM dropped
// too), and split as by split_universal_lines. The file is opened with the
// host's open(path, "rb", 0) (so a missing file, a folder, a denied
// file or a path of the wrong type fail with the host's own exceptions and
// texts), read with one read and closed in every case.
struct ModuleText {
    py::list lines;
    const char* encoding;  // "utf-8", "utf-8-sig", "gb18030", "cp950" or "utf-8-lossy"
    // The line ends met, as a text file's `newlines`: None, "\r", "\n",
    // "\r\n", or a tuple of the kinds in that order.
    py::object newlines;
};
ModuleText read_module_text(py::handle path);

// The lines of a decoded text with universal newlines: CR LF and a lone CR are
// delivered as "\n"; only LF, CR and CR LF end a line; every line keeps its
// "\n" and the last one may have none; "" gives []. `text` must be an exact str.
py::list split_universal_lines(py::handle text);

}  // namespace tallowby::host
