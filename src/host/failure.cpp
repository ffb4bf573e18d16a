#include "host/failure.hpp"

#include <new>

namespace tallowby::host {

py::str failure_text() { return py::str(failure_object()); }

py::object failure_object() {
    try {
        throw;
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        return e.value();
    } catch (py::builtin_exception& e) {
        e.set_error();
        py::error_already_set as_host;
        return as_host.value();
    } catch (std::bad_alloc&) {
        PyErr_NoMemory();
        py::error_already_set as_host;
        return as_host.value();
    } catch (std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
        py::error_already_set as_host;
        return as_host.value();
    }
}

}  // namespace tallowby::host
