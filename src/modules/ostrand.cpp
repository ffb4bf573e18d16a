// tallowby.ostrand: the test instance parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/test_instances.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::TestInstanceReader;

PYBIND11_MODULE(ostrand, m) {
    py::class_<TestInstanceReader> cls(m, "Ostrand", py::dynamic_attr());
    host::constructor<TestInstanceReader>(cls);
    host::method(cls, "read_test_instance",
                 {"test_instance_path", "pattern_set_dict", {"platform", py::str("UltraFLEXplus")}},
                 [](TestInstanceReader& self, py::str path, py::object pattern_sets, py::str platform) {
                     self.read(path, pattern_sets, platform);
                 });
    host::method(cls, "find_pat_path", {"pat_pattern", "test_instance_line", "line_list"},
                 [](TestInstanceReader& self, py::object pattern, py::object line, py::object lines) {
                     self.find_pat_path(pattern, line, lines);
                 });
    host::method(cls, "_Ostrand__get_instance_content", {"line_list", "pattern_info"},
                 [](TestInstanceReader& self, py::object lines, py::object pattern_info) {
                     return self.instance_content(lines, pattern_info);
                 });
    host::method(cls, "get_instance_info", {}, [](TestInstanceReader& self) { return self.instances(); });
    cls.def_property_readonly("_Ostrand__test_instance_dict", [](TestInstanceReader& self) { return self.instances(); });
}
