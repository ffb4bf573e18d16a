// tallowby.garvel: the flow table parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/flow_table.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::FlowTableReader;

PYBIND11_MODULE(garvel, m) {
    host::function(m, "get_flow_content", {"line_list", "platform"}, [](py::object lines, py::object platform) {
        return tallowby::sheets::flow_content(lines, platform);
    });

    py::class_<FlowTableReader> cls(m, "Garvel", py::dynamic_attr());
    host::constructor<FlowTableReader>(cls);
    host::method(cls, "read_flow_table", {"flow_path", "platform"},
                 [](FlowTableReader& self, py::str path, py::str platform) { self.read(path, platform); });
    host::method(cls, "get_test_suite_info", {}, [](FlowTableReader& self) { return self.test_suites(); });
    cls.def_property_readonly("_Garvel__test_suite_list", [](FlowTableReader& self) { return self.test_suites(); });
}
