// tallowby.tormund: the spec sheet parser, base of the AC and DC spec readers.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/spec_sheet.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::SpecSheetReader;

PYBIND11_MODULE(tormund, m) {
    host::function(m, "get_spec_info", {"line_list", "key_list"}, [](py::object lines, py::object keys) {
        return tallowby::sheets::spec_row_content(lines, keys);
    });

    py::class_<SpecSheetReader> cls(m, "Tormund", py::dynamic_attr());
    host::method(cls, "read_spec", {"spec_path", "platform"},
                 [](SpecSheetReader& self, py::str path, py::str platform) { self.read(path, platform); });
    host::method(cls, "get_info", {}, [](SpecSheetReader& self) { return self.specs(); });
    host::method(cls, "get_spec_version", {}, [](SpecSheetReader& self) { return self.version(); });
    host::constructor<SpecSheetReader>(cls);
    cls.def_property_readonly("_Tormund__spec_dict", [](SpecSheetReader& self) { return self.specs(); });
    cls.def_property_readonly("_Tormund__spec_version", [](SpecSheetReader& self) { return self.version(); });
}
