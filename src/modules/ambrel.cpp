// tallowby.ambrel: the pin level parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/pin_levels.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::PinLevelReader;

PYBIND11_MODULE(ambrel, m) {
    py::class_<PinLevelReader> cls(m, "ParsePinLevel", py::dynamic_attr());
    host::constructor<PinLevelReader>(cls);
    host::method(cls, "read_pin_level", {"pin_level_path"},
                 [](PinLevelReader& self, py::object path) { self.read(path); });
    host::method(cls, "get_pin_level_info", {}, [](PinLevelReader& self) { return self.levels(); });
    host::method(cls, "get_pin_clamp_info", {}, [](PinLevelReader& self) { return self.clamps(); });
    cls.def_property_readonly("_ParsePinLevel__pin_level_dict", [](PinLevelReader& self) { return self.levels(); });
    cls.def_property_readonly("_ParsePinLevel__pin_clamp_dict", [](PinLevelReader& self) { return self.clamps(); });
}
