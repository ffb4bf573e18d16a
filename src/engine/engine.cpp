#include "engine/engine.hpp"

#include "engine/sheet_gateway.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {
PyObject* engine_module = nullptr;  // kept for the process
}

void load_dependencies(py::module_& m) {
    engine_module = m.inc_ref().ptr();
    import_sheet_parsers(m);
    const struct {
        const char* module;
        const char* name;
    } others[] = {{"tallowby.common", "unzip"},
                  {"tallowby.common", "format_str"},
                  {"tallowby.common", "export_sheets_to_txt"},
                  {"tallowby.quillon.quillon", "VBAParser"}};
    for (const auto& c : others) m.attr(c.name) = py::module_::import(c.module).attr(c.name);
    m.attr("pd") = py::module_::import("pandas");
    m.attr("xlrd") = py::module_::import("xlrd");
    m.attr("xlsxwriter") = py::module_::import("xlsxwriter");
}

py::object engine_global(const char* name) {
    return py::reinterpret_borrow<py::module_>(engine_module).attr(name);
}

py::handle marlet_class() {
    static PyObject* cls = engine_global("Marlet").release().ptr();
    return cls;
}

py::object add(py::handle a, py::handle b) {
    return host::steal(PyNumber_Add(a.ptr(), b.ptr()));
}

namespace {
const host::OwnOperation log_step("_Marlet__put_data_log", marlet_class);
const host::OwnOperation progress_step("update_progressbar", marlet_class);
}  // namespace

void send_to_sink(py::handle sink, py::handle value) {
    if (!sink.is_none()) sink(value);
}

void put_log(py::handle self, py::handle line) {
    log_step(self, [&] { send_to_sink(state(self).text(), line); }, line);
}

void put_log(py::handle self, const std::string& utf8) { put_log(self, host::from_utf8(utf8)); }

void progress(py::handle self, py::handle value) {
    progress_step(self, [&] { send_to_sink(state(self).progressbarOne(), value); }, value);
}

}  // namespace tallowby::engine
