// tallowby.ambrel: the pin level parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/pin_levels.hpp"

namespace py = pybind11;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::PinLevelReader;

PYBIND11_MODULE(ambrel, m) {
    py::class_<PinLevelReader>(m, "ParsePinLevel", py::dynamic_attr())
        .def(py::init(init0<PinLevelReader>("ParsePinLevel.__init__")))
        .def("read_pin_level",
             [](PinLevelReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParsePinLevel.read_pin_level", {"pin_level_path"});
                 auto a = sig.bind(args, kwargs);
                 self.read(a[0]);
             })
        .def("get_pin_level_info", method0<PinLevelReader>("ParsePinLevel.get_pin_level_info",
                                         [](PinLevelReader& self) { return self.levels(); }))
        .def("get_pin_clamp_info", method0<PinLevelReader>("ParsePinLevel.get_pin_clamp_info",
                                         [](PinLevelReader& self) { return self.clamps(); }))
        .def_property_readonly("_ParsePinLevel__pin_level_dict", [](PinLevelReader& self) { return self.levels(); })
        .def_property_readonly("_ParsePinLevel__pin_clamp_dict", [](PinLevelReader& self) { return self.clamps(); });
}
