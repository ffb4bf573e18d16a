#include "host/with_scope.hpp"

#include "host/checked.hpp"
#include "host/objects.hpp"

namespace tallowby::host {

WithScope::WithScope(py::object manager) {
    py::object type = py::reinterpret_borrow<py::object>(py::type::handle_of(manager));
    py::object enter = type.attr("__enter__");
    exit_ = type.attr("__exit__").attr("__get__")(manager, type);
    target_ = enter.attr("__get__")(manager, type)();
}

void WithScope::leave() { exit_(py::none(), py::none(), py::none()); }

bool WithScope::leave_with_error(py::error_already_set& e) {
    py::object value = e.value();
    py::object suppress;
    try {
        py::object trace = e.trace() ? e.trace() : py::none();
        suppress = exit_(e.type(), value, trace);
    } catch (py::error_already_set& raised) {
        if (raised.value().ptr() != value.ptr()) PyException_SetContext(raised.value().ptr(), value.release().ptr());
        throw;
    }
    return host::truthy(suppress);
}

}  // namespace tallowby::host
