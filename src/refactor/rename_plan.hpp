// Planning the renames of a set of change records over all modules of a
// parse, before any module is touched: each record is checked (names, module,
// declaration), its scope is worked out (where the declared name means that
// declaration), the identifier tokens it renames there are collected, and
// records that would collide with another name are refused. The modules to
// rewrite are read and checked against what the parser read.
#pragma once

#include <pybind11/pybind11.h>

#include <vector>

#include "refactor/module_files.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

struct PendingChange {
    py::object type;    // the change type it is recorded under
    py::object record;  // the change record
};

struct ModuleRewrite {
    ModuleOnDisk disk;
    py::bytes new_data;
    size_t names = 0;  // how many names are renamed in it
};

struct Plan {
    std::vector<bool> accepted;           // per change: all its renames are in `rewrites`
    std::vector<ModuleRewrite> rewrites;  // modules whose bytes change, in the parser's order
};

// Plans `changes` over the modules of `parser`. Prints a line for every
// module that cannot be rewritten and for every change that is refused,
// naming the reason.
Plan plan_renames(py::handle parser, const std::vector<PendingChange>& changes);

// "未应用 <kind> '<old>' -> '<new>' (<file> 第 <line> 行): <reason>"
void print_not_applied(const PendingChange& change, py::handle reason);

}  // namespace tallowby::refactor
