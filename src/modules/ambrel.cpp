// tallowby.ambrel: the pin level parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "sheets/pin_levels.hpp"

namespace py = pybind11;
using tallowby::host::Signature;
using tallowby::sheets::PinLevelReader;

PYBIND11_MODULE(ambrel, m) {
    py::class_<PinLevelReader>(m, "ParsePinLevel", py::dynamic_attr())
        .def(py::init([](py::args args, py::kwargs kwargs) {
            static const Signature sig("ParsePinLevel.__init__", {});
            sig.bind_none(args, kwargs);
            return new PinLevelReader();
        }))
        .def("read_pin_level",
             [](PinLevelReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParsePinLevel.read_pin_level", {"pin_level_path"});
                 auto a = sig.bind(args, kwargs);
                 self.read(a[0]);
             })
        .def("get_pin_level_info",
             [](PinLevelReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParsePinLevel.get_pin_level_info", {});
                 sig.bind_none(args, kwargs);
                 return self.levels();
             })
        .def("get_pin_clamp_info",
             [](PinLevelReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParsePinLevel.get_pin_clamp_info", {});
                 sig.bind_none(args, kwargs);
                 return self.clamps();
             })
        .def_property_readonly("_ParsePinLevel__pin_level_dict", [](PinLevelReader& self) { return self.levels(); })
        .def_property_readonly("_ParsePinLevel__pin_clamp_dict", [](PinLevelReader& self) { return self.clamps(); });
}
