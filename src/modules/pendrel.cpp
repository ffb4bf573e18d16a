// tallowby.pendrel: the pattern set parser, the pattern time-set query and the
// pattern vector count reader.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/pattern_sets.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::PatternSetReader;

PYBIND11_MODULE(pendrel, m) {
    py::class_<PatternSetReader> cls(m, "Pendrel", py::dynamic_attr());
    host::constructor<PatternSetReader>(cls);
    // The pattern file path is checked but not read here.
    host::method(cls, "read_pattern_set",
                 {"pattern_set_path", "pattern_file_path", {"platform", py::str("UltraFLEXplus")}},
                 [](PatternSetReader& self, py::str path, py::str, py::str platform) { self.read(path, platform); });
    host::method(cls, "get_pattern_set_info", {}, [](PatternSetReader& self) { return self.resolved(); });
    host::method(cls, "get_pattern_cycle_info", {}, [](PatternSetReader& self) { return self.cycles(); });
    host::method(cls, "get_pat_path", {"pat_path"},
                 [](PatternSetReader& self, py::str path) { return self.pat_path(path); });
    host::method(cls, "contains_any_substring", {"s", "substrings"},
                 [](PatternSetReader&, py::object s, py::object substrings) {
                     return tallowby::sheets::contains_any_substring(s, substrings);
                 });
    host::method(cls, "truncate_after_substring", {"s", "substrings"},
                 [](PatternSetReader&, py::object s, py::object substrings) {
                     return tallowby::sheets::truncate_after_substring(s, substrings);
                 });
    host::method(cls, "read_tset_from_pattern", {"pattern_folder_path", "pattern_file_path"},
                 [](PatternSetReader& self, py::str folder, py::str file) { self.read_tset(folder, file); });
    host::method(cls, "get_pattern_tset", {}, [](PatternSetReader& self) { return self.tset_names(); });
    host::method(cls, "read_pattern_file", {"pattern_file_path", "pattern_set_name"},
                 [](PatternSetReader& self, py::object file, py::object set_name) {
                     self.read_pattern_file(file, set_name);
                 });
    cls.def_property_readonly("_Pendrel__tset_name", [](PatternSetReader& self) { return self.tset_names(); });
    cls.def_property_readonly("_Pendrel__pattern_set_dict", [](PatternSetReader& self) { return self.sets(); });
    cls.def_property_readonly("_Pendrel__cycle_dict", [](PatternSetReader& self) { return self.cycles(); });
    cls.def_property_readonly("_Pendrel__pattern_set_version", [](PatternSetReader& self) { return self.version(); });
}
