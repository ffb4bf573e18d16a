#include "sheets/spec_sheet_kinds.hpp"

#include "host/bind.hpp"

namespace tallowby::sheets {

void add_spec_kind_class(py::module_& m, const SpecKindNames& names) {
    py::object base = py::module_::import("tallowby.tormund").attr("Tormund");

    py::dict namespace_;
    namespace_["__module__"] = m.attr("__name__");
    namespace_["__qualname__"] = names.class_name;
    py::object builtin_type = py::reinterpret_borrow<py::object>(reinterpret_cast<PyObject*>(&PyType_Type));
    py::object cls = builtin_type(names.class_name, py::make_tuple(base), namespace_);

    host::method(cls, "__init__", {}, [base](py::handle self) { base.attr("__init__")(self); });
    host::method(cls, names.read_name, {names.path_name, "platform"},
                 [base](py::handle self, py::object path, py::object platform) {
                     base.attr("read_spec")(self, path, platform);
                 });
    host::method(cls, names.info_name, {}, [base](py::handle self) { return base.attr("get_info")(self); });

    m.attr(names.class_name) = cls;
}

}  // namespace tallowby::sheets
