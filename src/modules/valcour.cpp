// tallowby.valcour: the time-set sheet parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/timing_sheet.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::TimingSheetReader;

PYBIND11_MODULE(valcour, m) {
    py::class_<TimingSheetReader> cls(m, "ParseTIM", py::dynamic_attr());
    host::constructor<TimingSheetReader>(cls);
    host::method(cls, "read_timing", {"timing_path", "platform"},
                 [](TimingSheetReader& self, py::str path, py::str platform) { self.read(path, platform); });
    host::method(cls, "get_timing_info", {}, [](TimingSheetReader& self) { return self.periods(); });
    host::method(cls, "get_clk_info", {}, [](TimingSheetReader& self) { return self.clocks(); });
    cls.def_property_readonly("_ParseTIM__timing_period", [](TimingSheetReader& self) { return self.periods(); });
    cls.def_property_readonly("_ParseTIM__clk_dic", [](TimingSheetReader& self) { return self.clocks(); });
}
