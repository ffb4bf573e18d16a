// tallowby.ostrand: the test instance parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/test_instances.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::TestInstanceReader;

PYBIND11_MODULE(ostrand, m) {
    py::class_<TestInstanceReader>(m, "Ostrand", py::dynamic_attr())
        .def(py::init(init0<TestInstanceReader>("Ostrand.__init__")))
        .def("read_test_instance",
             [](TestInstanceReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Ostrand.read_test_instance",
                                            {"test_instance_path", "pattern_set_dict",
                                             {"platform", py::str("UltraFLEXplus")}});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "test_instance_path");
                 auto platform = arg_str(a[2], "platform");
                 self.read(path, a[1], platform);
             })
        .def("find_pat_path",
             [](TestInstanceReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Ostrand.find_pat_path",
                                            {"pat_pattern", "test_instance_line", "line_list"});
                 auto a = sig.bind(args, kwargs);
                 self.find_pat_path(a[0], a[1], a[2]);
             })
        .def("_Ostrand__get_instance_content",
             [](TestInstanceReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Ostrand.__get_instance_content", {"line_list", "pattern_info"});
                 auto a = sig.bind(args, kwargs);
                 return self.instance_content(a[0], a[1]);
             })
        .def("get_instance_info", method0<TestInstanceReader>("Ostrand.get_instance_info",
                                         [](TestInstanceReader& self) { return self.instances(); }))
        .def_property_readonly("_Ostrand__test_instance_dict",
                               [](TestInstanceReader& self) { return self.instances(); });
}
