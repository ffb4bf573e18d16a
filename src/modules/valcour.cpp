// tallowby.valcour: the time-set sheet parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/timing_sheet.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::TimingSheetReader;

PYBIND11_MODULE(valcour, m) {
    py::class_<TimingSheetReader>(m, "ParseTIM", py::dynamic_attr())
        .def(py::init(init0<TimingSheetReader>("ParseTIM.__init__")))
        .def("read_timing",
             [](TimingSheetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParseTIM.read_timing", {"timing_path", "platform"});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "timing_path");
                 auto platform = arg_str(a[1], "platform");
                 self.read(path, platform);
             })
        .def("get_timing_info", method0<TimingSheetReader>("ParseTIM.get_timing_info",
                                         [](TimingSheetReader& self) { return self.periods(); }))
        .def("get_clk_info", method0<TimingSheetReader>("ParseTIM.get_clk_info",
                                         [](TimingSheetReader& self) { return self.clocks(); }))
        .def_property_readonly("_ParseTIM__timing_period", [](TimingSheetReader& self) { return self.periods(); })
        .def_property_readonly("_ParseTIM__clk_dic", [](TimingSheetReader& self) { return self.clocks(); });
}
