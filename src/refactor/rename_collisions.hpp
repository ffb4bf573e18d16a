// The collision check of the rename planner: a change is refused when its new
// name would be spelled like another name that means something else where the
// change renames (a name of the same procedure or module level, a public name
// of another module, a module name, or another change's new name for other
// tokens).
#pragma once

#include <pybind11/pybind11.h>

#include <unordered_set>
#include <vector>

#include "refactor/rename_state.hpp"

namespace tallowby::refactor {
namespace py = pybind11;

// Per change: why it collides, or null (also for changes already refused).
// `owner`: per module and identifier, the accepted change that renames it, or -1.
std::vector<py::object> find_collisions(const std::vector<Module>& modules, const std::vector<Change>& changes,
                                        const std::vector<std::vector<int>>& owner,
                                        const std::unordered_set<Text>& module_names);

}  // namespace tallowby::refactor
