// Reading text files through the host's own open(): its default encoding, its
// universal newlines (every line keeps its "\n") and its errors
// (FileNotFoundError, IsADirectoryError, UnicodeDecodeError, ...).
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::host {
namespace py = pybind11;

// A file opened as open(path, encoding=..., errors=...) would open it, read
// line by line and closed when the object goes away (also on a failure).
class TextFile {
public:
    explicit TextFile(py::handle path, const char* encoding = nullptr, const char* errors = nullptr);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    // The next line, or false at the end of the file.
    bool next(py::str& line);
    // All remaining lines.
    py::list readlines();
    // The whole remaining text.
    py::str read();
    void close();

private:
    py::object file_;
    py::object iter_;
};

// The whole file as a list of lines.
py::list read_lines(py::handle path, const char* encoding = nullptr, const char* errors = nullptr);

// Closes a file object, ignoring a failure of the close and keeping an
// error that is being raised (the host's error indicator) intact.
void close_keeping_error(py::handle file);

// Writes the bytes `data` to a file opened as open(path, mode) ("wb" replaces
// the file, "xb" only creates a new one) and closes it, also on a failure.
void write_bytes(py::handle path, py::handle data, const char* mode);

// Whether `path` names an existing regular file (os.path.isfile).
bool is_regular_file(py::handle path);
// Whether anything exists at `path` (os.path.exists).
bool path_exists(py::handle path);

}  // namespace tallowby::host
