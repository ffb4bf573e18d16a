// tallowby.tormund: the spec sheet parser, base of the AC and DC spec readers.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/spec_sheet.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::SpecSheetReader;

PYBIND11_MODULE(tormund, m) {
    m.def("get_spec_info", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("get_spec_info", {"line_list", "key_list"}, false);
        auto a = sig.bind(args, kwargs);
        return tallowby::sheets::spec_row_content(a[0], a[1]);
    });

    py::class_<SpecSheetReader>(m, "Tormund", py::dynamic_attr())
        .def("read_spec",
             [](SpecSheetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Tormund.read_spec", {"spec_path", "platform"});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "spec_path");
                 auto platform = arg_str(a[1], "platform");
                 self.read(path, platform);
             })
        .def("get_info", method0<SpecSheetReader>("Tormund.get_info",
                                         [](SpecSheetReader& self) { return self.specs(); }))
        .def("get_spec_version", method0<SpecSheetReader>("Tormund.get_spec_version",
                                         [](SpecSheetReader& self) { return self.version(); }))
        .def(py::init(init0<SpecSheetReader>("Tormund.__init__")))
        .def_property_readonly("_Tormund__spec_dict", [](SpecSheetReader& self) { return self.specs(); })
        .def_property_readonly("_Tormund__spec_version", [](SpecSheetReader& self) { return self.version(); });
}
