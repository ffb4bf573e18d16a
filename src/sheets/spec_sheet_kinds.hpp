// The AC and DC spec readers: classes derived, through the host, from
// tallowby.tormund.Tormund that only give its operations their own names.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::sheets {
namespace py = pybind11;

struct SpecKindNames {
    const char* class_name;  // "Sunmere"
    const char* read_name;   // "read_ac_spec"
    const char* path_name;   // "ac_spec_path"
    const char* info_name;   // "get_ac_info"
};

// Imports tallowby.tormund, builds the class on its Tormund type and adds it
// to `m`. The constructor runs Tormund's; `read_name` calls Tormund.read_spec
// (which checks the argument kinds) and `info_name` Tormund.get_info.
void add_spec_kind_class(py::module_& m, const SpecKindNames& names);

}  // namespace tallowby::sheets
