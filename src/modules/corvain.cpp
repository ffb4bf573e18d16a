// tallowby.corvain: the global spec parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "host/checked.hpp"
#include "sheets/global_spec.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::GlobalSpecReader;

namespace {

// The attribute as the host would look it up on `self`: AttributeError with
// the host's text while no read has created it.
py::object attribute_or_raise(py::handle self, const py::object& value, const char* mangled) {
    if (value) return value;
    py::str type_name = py::type::handle_of(self).attr("__name__");
    host::raise_format(PyExc_AttributeError, "'%U' object has no attribute '%s'", type_name.ptr(), mangled);
}

}  // namespace

PYBIND11_MODULE(corvain, m) {
    // The class has no constructor of its own: no state until the first read,
    // and arguments to the call are refused as the host refuses them then.
    py::class_<GlobalSpecReader> cls(m, "ParseGlobalSpec", py::dynamic_attr());
    cls.def(py::init([](py::args args, py::kwargs kwargs) {
        if (!args.empty() || !kwargs.empty()) {
            host::raise(PyExc_TypeError, "ParseGlobalSpec() takes no arguments");
        }
        return new GlobalSpecReader();
    }));
    host::method(cls, "read_spec", {"spec_path", "platform"},
                 [](GlobalSpecReader& self, py::str path, py::str platform) { self.read(path, platform); });
    host::method(cls, "get_info", {}, [](py::object self) {
        return attribute_or_raise(self, self.cast<GlobalSpecReader&>().specs(), "_ParseGlobalSpec__spec_dict");
    });
    cls.def_property_readonly("_ParseGlobalSpec__spec_dict", [](py::object self) {
        return attribute_or_raise(self, self.cast<GlobalSpecReader&>().specs(), "_ParseGlobalSpec__spec_dict");
    });
    cls.def_property_readonly("_ParseGlobalSpec__spec_version", [](py::object self) {
        return attribute_or_raise(self, self.cast<GlobalSpecReader&>().version(), "_ParseGlobalSpec__spec_version");
    });
}
