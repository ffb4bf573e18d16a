// The engine's state and the loading of a device: locating its sheet folder
// (a folder, an unpacked archive or an exported macro workbook) and reading
// its job list.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "engine/sheet_gateway.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/regex.hpp"

namespace tallowby::engine {

namespace {

bool empty_text(py::handle value) { return equal(value, py::str("")); }

py::object os_path() { return py::module_::import("os").attr("path"); }

// The folder a device file unpacks into: the file name with the text from
// its last "." on removed; a name that this leaves empty or only dots
// ("...zip") would name the device folder itself or its parent, and becomes
// one "_" per character instead (at least one), as the common module names
// that folder.
py::str unpacked_folder_name(const py::str& name) {
    Py_ssize_t dot = PyUnicode_FindChar(name.ptr(), '.', 0, PY_SSIZE_T_MAX, -1);
    if (dot == -2) host::raise_error();
    const py::str stem = dot < 0 ? name : py::str(name[py::slice(0, dot, 1)]);
    const Py_ssize_t n = PyUnicode_GET_LENGTH(stem.ptr());
    for (Py_ssize_t i = 0; i < n; ++i)
        if (PyUnicode_READ_CHAR(stem.ptr(), i) != '.') return stem;
    return py::str(std::string(static_cast<size_t>(n > 0 ? n : 1), '_'));
}

bool ends_with(const py::str& lowered, const char* ending) {
    return lowered.attr("endswith")(ending).cast<bool>();
}

}  // namespace

void set_initial_state(py::handle self, py::handle device_directory) {
    state(self).power_order_path() = py::str("");
    state(self).pattern_path() = py::str("");
    state(self).job_list_dict() = py::str("");
    if (device_directory) state(self).device_directory() = device_directory;
    state(self).work_sheet() = py::none();
    state(self).text() = py::none();
    state(self).last_flow_info() = engine_global("LastFlowInfo")();
    state(self).glob_spec_dict() = py::dict();
    state(self).MAX_DSP_CNT() = py::int_(0);
    state(self).pattern_set_dict() = py::dict();
    state(self).dc_spec_dict() = py::dict();
    state(self).platform() = py::str("UltraFLEX");
    state(self).tsb_dict() = py::dict();
    state(self).clock_dic() = py::dict();
    state(self).print_inst_info_col_cnt() = py::int_(6);
    state(self).write_row_index() = py::int_(0);
    state(self).cycle_mode() = py::str("");
    state(self).tset_dict() = py::dict();
    state(self).pat2inst_dict() = py::dict();
    state(self).progressbarOne() = py::none();
    state(self).power_list() = py::list();
    state(self).sort_bin_dscrp() = py::list();
    state(self).power_pin_clamp_dict() = py::dict();
    state(self).enable_quillon() = py::bool_(false);
}

void read_device(py::handle self, const py::str& device_path, const py::str& power_order_path,
                 const py::str& pattern_path, py::handle platform, py::handle text, py::handle cycle_mode,
                 py::handle context_env, py::handle enable_vbt_check, py::handle progressbar) {
    self.attr("reset")();
    state(self).text() = text;
    state(self).platform() = platform;
    state(self).cycle_mode() = cycle_mode;
    state(self).progressbarOne() = progressbar;
    if (!empty_text(context_env)) put_log(self, py::str("Import Context Environment: ") + context_env);
    state(self).context_env() = context_env;
    if (!empty_text(power_order_path)) put_log(self, py::str("Import Power Order File: ") + power_order_path);
    state(self).power_order_path() = power_order_path;
    if (!empty_text(pattern_path)) put_log(self, py::str("Import Pattern Path: ") + pattern_path);
    state(self).pattern_path() = pattern_path;

    py::object path = os_path();
    if (path.attr("isdir")(device_path).cast<bool>()) {
        state(self).device_directory() = device_path;
    } else {
        py::str lowered = device_path.attr("lower")();
        if (ends_with(lowered, ".igxl") || ends_with(lowered, ".zip")) {
            engine_global("unzip")(device_path, state(self).device_directory());
        } else if (ends_with(lowered, ".xlsm")) {
            engine_global("export_sheets_to_txt")(device_path, state(self).device_directory());
        } else {
            put_log(self, std::string("Error: file extension is not supported."));
        }
        py::object candidate =
            path.attr("join")(state(self).device_directory(), unpacked_folder_name(path.attr("basename")(device_path)));
        if (path.attr("isdir")(candidate).cast<bool>()) state(self).device_directory() = candidate;
    }

    if (equal(enable_vbt_check, py::int_(1))) {
        state(self).enable_quillon() = py::bool_(true);
        put_log(self, std::string("Quillon Enabled!"));
    } else {
        state(self).enable_quillon() = py::bool_(false);
    }

    static const host::HostPattern job_list_name("job.*list", host::kIgnoreCase);
    py::object directory = state(self).device_directory();
    py::object job_list_path = py::str("");
    for (py::handle name : py::module_::import("os").attr("listdir")(directory)) {
        if (!job_list_name.search(name).is_none()) {
            job_list_path = path.attr("join")(directory, name);
            break;
        }
    }
    JobListSheet job_list;
    try {
        job_list.read(job_list_path);
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_FileNotFoundError)) throw;
    }
    state(self).job_list_dict() = job_list.jobs();
}

}  // namespace tallowby::engine
