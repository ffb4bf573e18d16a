// What the rename planner knows of each module and each change record while
// it plans; shared by the planner and its collision check.
#pragma once

#include <pybind11/pybind11.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "refactor/change_records.hpp"
#include "refactor/module_files.hpp"
#include "vba/identifiers.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

using Place = std::pair<int, int>;  // (module, ident) or (module, unit)

struct Module {
    py::str path;
    std::string encoding;
    // The module's scan. Its lines are let go once the module's comment words
    // are taken (the text of every module at four bytes a character would be
    // held through the whole plan otherwise): the few places that need a
    // line's text again read it from `parsed`, the parser's own line texts
    // (the list copied, so that it stays as scanned).
    ModuleScan scan;
    py::list parsed;
    size_t line_count = 0;
    std::vector<bool> parsed_ends;
    // Each word of the comments, as written -> (line, column).
    std::unordered_map<Text, std::vector<std::pair<int, int>>> comment_words;
    bool checked = false;
    std::optional<ModuleOnDisk> disk;
    py::object refusal;  // set when it cannot be rewritten
};

struct Change {
    std::optional<ChangeKind> kind;
    py::object file_path, line_number, old_obj, new_obj;  // as recorded (null when missing)
    Text old_name, new_name, old_lower, new_lower;
    int module = -1;
    int line = 0;   // 0-based line of the declaration
    int unit = -1;  // the procedure that declares it; -1 for a module-level name
    Role role = Role::Variable;
    bool is_public = false;
    std::vector<Place> tokens;       // identifier tokens it renames, sorted
    std::vector<Place> token_units;  // (module, unit) holding any of them, sorted
    std::vector<int> modules;        // modules it renames anything in, sorted
    std::vector<std::pair<int, std::pair<int, int>>> comment_edits;  // (module, (line, column))
    py::object reason;  // set once refused
    bool accepted() const { return !reason; }
};

// Line i of the module as the scan read it: its parsed text without the line end.
inline Text parsed_line(const Module& m, size_t i) {
    Text t = to_text(PyList_GET_ITEM(m.parsed.ptr(), static_cast<Py_ssize_t>(i)));
    if (!t.empty() && t.back() == U'\n') t.pop_back();
    return t;
}

// Every line of the module, as the scan read them.
inline std::vector<Text> parsed_lines(const Module& m) {
    std::vector<Text> lines;
    lines.reserve(m.line_count);
    for (size_t i = 0; i < m.line_count; ++i) lines.push_back(parsed_line(m, i));
    return lines;
}

inline bool contains_sorted(const std::vector<Place>& v, Place p) { return std::binary_search(v.begin(), v.end(), p); }

inline py::str line_text(int line) { return py::str(std::to_string(line)); }

// The modules, in order, listed under `key` (none when absent).
inline const std::vector<int>& modules_with(const std::unordered_map<Text, std::vector<int>>& index,
                                           const Text& key) {
    static const std::vector<int> none;
    auto it = index.find(key);
    return it == index.end() ? none : it->second;
}

}  // namespace tallowby::refactor
