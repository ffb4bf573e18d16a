// The bytes of a module on disk: read and checked against what the parser
// read, and written back with nothing changed but the renamed names. A
// rewrite goes to a temporary file beside the module that replaces it only
// once it is complete on disk.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "refactor/module_scan.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

// How a line ends: as read, so that it is written back the same.
enum class LineEnd : uint8_t { None, LF, CRLF, CR };

// A module as it is on disk now, checked to be the one the parser read.
struct ModuleOnDisk {
    py::str path;       // as the parser spells it
    py::str real_path;  // the file itself (a symbolic link followed)
    py::bytes data;     // the bytes read
    std::string encoding;
    bool bom = false;
    std::vector<LineEnd> ends;  // one per line
    py::object stat;            // os.stat of the file
};

// Reads the module at `path` and checks that it can be rewritten: its bytes
// decode with `encoding` ("utf-8", "utf-8-sig" or "gb18030") into exactly
// the lines the parser read (`lines`, without line ends; `parsed_ends`
// whether each had one), encoding them again gives the same bytes, and the
// file may be written. Otherwise the reason (a message) it cannot.
struct CheckedModule {
    std::optional<ModuleOnDisk> module;
    py::str refusal;
};
CheckedModule read_module(const py::str& path, const std::string& encoding, const std::vector<Text>& lines,
                          const std::vector<bool>& parsed_ends);

// The module's text with `lines` in place of its own (same count), each
// with its own line end, encoded as the module was.
py::bytes encode_module(const ModuleOnDisk& m, const std::vector<Text>& lines);

// A copy of `data` beside the module: "<path>.backup_<time stamp>", or the
// first free "<name>_2", "<name>_3", ... when a backup of that name exists.
// Written and synced before it returns; a copy that could not be completed
// is removed. Returns its path.
py::str write_backup(const py::str& path, const py::bytes& data);

// `data` written to a new temporary file in the module's folder, synced, with
// the module's permission bits. Removed again when anything fails. Returns
// its path.
py::str write_temporary(const ModuleOnDisk& m, const py::bytes& data);

// Puts the temporary file in the module's place (one rename on the same
// file system) and syncs the folder. Refuses (raises) when the module's bytes
// are no longer `expected`: it was changed while the renames were written.
void replace_module(const ModuleOnDisk& m, const py::str& temporary, const py::bytes& expected);

// Removes a file, ignoring any failure.
void remove_quietly(const py::str& path);

py::str to_str(const Text& text);
Text to_text(py::handle str);

}  // namespace tallowby::refactor
