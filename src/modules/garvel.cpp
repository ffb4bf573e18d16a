// tallowby.garvel: the flow table parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/flow_table.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::FlowTableReader;

PYBIND11_MODULE(garvel, m) {
    m.def("get_flow_content", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("get_flow_content", {"line_list", "platform"}, false);
        auto a = sig.bind(args, kwargs);
        return tallowby::sheets::flow_content(a[0], a[1]);
    });

    py::class_<FlowTableReader>(m, "Garvel", py::dynamic_attr())
        .def(py::init(init0<FlowTableReader>("Garvel.__init__")))
        .def("read_flow_table",
             [](FlowTableReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Garvel.read_flow_table", {"flow_path", "platform"});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "flow_path");
                 auto platform = arg_str(a[1], "platform");
                 self.read(path, platform);
             })
        .def("get_test_suite_info", method0<FlowTableReader>("Garvel.get_test_suite_info",
                                         [](FlowTableReader& self) { return self.test_suites(); }))
        .def_property_readonly("_Garvel__test_suite_list", [](FlowTableReader& self) { return self.test_suites(); });
}
