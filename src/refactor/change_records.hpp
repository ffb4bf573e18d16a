// The refactorer's record of renames: the change types, the change record of
// one rename and the map `changes_made` that keeps them by type.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>

namespace tallowby::refactor {
namespace py = pybind11;

// The state of one VBTRefactorer: the parser it reads (by reference), every
// change recorded since it was made and not refused, and which of those are
// written to the modules.
struct Refactorer {
    py::object parser;
    py::object changes_made;  // collections.defaultdict(list)
    py::list written;         // records already applied, kept to be passed over later
    bool failed = false;      // the last apply left a record unapplied or a module unwritten
};

// The change types, in the order of the model's parts.
enum class ChangeKind { kGlobal, kModule, kLocal, kType, kEnum };
inline constexpr size_t kChangeKinds = 5;

// "global_variable", "module_variable", ...
const char* change_type(ChangeKind kind);
// What the kind's texts call it: "全局变量", "模块变量", "局部变量", "Type定义", "Enum定义".
const char* change_label(ChangeKind kind);

// A new empty map of changes: a change type looked up the first time gives
// a new empty list, kept under that type.
py::object new_change_map();

// "<label> '<old>' 重命名为 '<new>'"; for a local variable
// "局部变量 '<old>' 在函数 '<function>' 中重命名为 '<new>'". Each value is
// inserted as its text form.
py::str describe_change(ChangeKind kind, py::handle old_name, py::handle new_name, py::handle function_name);

// A change record: a new dict with the keys file_path, line_number,
// original_name, new_name, description and timestamp (local time now).
py::dict make_change_record(py::handle file_path, py::handle line_number, py::handle original_name,
                            py::handle new_name, py::handle description);

// Appends `record` to the list of `type` in `changes_made`, the list made by
// the map's default when the type has none yet.
void add_change(py::handle changes_made, py::handle type, py::handle record);

// The class VBTRefactorer (for host::OwnOperation).
py::handle refactorer_class();

// A change record of `kind` through self._add_change: run directly unless a
// subclass or the object replaces it.
void record_change(py::handle self, Refactorer& state, ChangeKind kind, const py::dict& change);

// self._apply_all_changes(), the same way.
void apply_changes(py::handle self, Refactorer& state);

// The collector of one part of the parser's model: a record for every name
// whose suggested name is set and differs, passed to self._add_change.
void collect_suggested_renames(py::handle self, Refactorer& state, ChangeKind kind);

// Every suggested rename recorded, then everything recorded applied. True
// when every record was written.
bool refactor_all_issues(py::handle self, Refactorer& state);

}  // namespace tallowby::refactor
