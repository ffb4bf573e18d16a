// tallowby.corvain: the global spec parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "sheets/global_spec.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::Signature;
using tallowby::sheets::GlobalSpecReader;

namespace {

// The attribute as the host would look it up on `self`: AttributeError with
// the host's text while no read has created it.
py::object attribute_or_raise(py::handle self, const py::object& value, const char* mangled) {
    if (value) return value;
    py::str type_name = py::type::handle_of(self).attr("__name__");
    PyErr_Format(PyExc_AttributeError, "'%U' object has no attribute '%s'", type_name.ptr(), mangled);
    throw py::error_already_set();
}

}  // namespace

PYBIND11_MODULE(corvain, m) {
    // The class has no constructor of its own: no state until the first read,
    // and arguments to the call are refused as the host refuses them then.
    py::class_<GlobalSpecReader>(m, "ParseGlobalSpec", py::dynamic_attr())
        .def(py::init([](py::args args, py::kwargs kwargs) {
            if (!args.empty() || !kwargs.empty()) {
                PyErr_SetString(PyExc_TypeError, "ParseGlobalSpec() takes no arguments");
                throw py::error_already_set();
            }
            return new GlobalSpecReader();
        }))
        .def("read_spec",
             [](GlobalSpecReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParseGlobalSpec.read_spec", {"spec_path", "platform"});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "spec_path");
                 auto platform = arg_str(a[1], "platform");
                 self.read(path, platform);
             })
        .def("get_info",
             [](py::object self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("ParseGlobalSpec.get_info", {});
                 sig.bind_none(args, kwargs);
                 return attribute_or_raise(self, self.cast<GlobalSpecReader&>().specs(),
                                           "_ParseGlobalSpec__spec_dict");
             })
        .def_property_readonly("_ParseGlobalSpec__spec_dict",
                               [](py::object self) {
                                   return attribute_or_raise(self, self.cast<GlobalSpecReader&>().specs(),
                                                             "_ParseGlobalSpec__spec_dict");
                               })
        .def_property_readonly("_ParseGlobalSpec__spec_version", [](py::object self) {
            return attribute_or_raise(self, self.cast<GlobalSpecReader&>().version(),
                                      "_ParseGlobalSpec__spec_version");
        });
}
