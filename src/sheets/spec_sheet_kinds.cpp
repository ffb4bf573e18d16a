#include "sheets/spec_sheet_kinds.hpp"

#include <string>

#include "host/args.hpp"

namespace tallowby::sheets {

using host::Signature;

void add_spec_kind_class(py::module_& m, const SpecKindNames& names) {
    py::object base = py::module_::import("tallowby.tormund").attr("Tormund");
    const std::string qualname = names.class_name;

    py::dict namespace_;
    namespace_["__module__"] = m.attr("__name__");
    namespace_["__qualname__"] = names.class_name;
    py::object builtin_type = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type));
    py::object cls = builtin_type(names.class_name, py::make_tuple(base), namespace_);

    // Signatures live for the process, as the host's own functions do.
    auto* init_sig = new Signature(qualname + ".__init__", {});
    auto* read_sig = new Signature(qualname + "." + names.read_name, {names.path_name, "platform"});
    auto* info_sig = new Signature(qualname + "." + names.info_name, {});

    cls.attr("__init__") = py::cpp_function(
        [base, init_sig](py::handle self, py::args args, py::kwargs kwargs) {
            init_sig->bind_none(args, kwargs);
            base.attr("__init__")(self);
        },
        py::name("__init__"), py::is_method(cls));
    cls.attr(names.read_name) = py::cpp_function(
        [base, read_sig](py::handle self, py::args args, py::kwargs kwargs) {
            auto a = read_sig->bind(args, kwargs);
            base.attr("read_spec")(self, a[0], a[1]);
        },
        py::name(names.read_name), py::is_method(cls));
    cls.attr(names.info_name) = py::cpp_function(
        [base, info_sig](py::handle self, py::args args, py::kwargs kwargs) {
            info_sig->bind_none(args, kwargs);
            return base.attr("get_info")(self);
        },
        py::name(names.info_name), py::is_method(cls));

    m.attr(names.class_name) = cls;
}

}  // namespace tallowby::sheets
