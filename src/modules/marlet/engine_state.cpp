// Registration of the engine object: constructor, reset, read_device,
// get_job_list, the two sinks, and the last-file cache record.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "engine/state.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

namespace {

struct LastFlowInfo {
    py::object dc_spec_name = py::none(), glob_spec_name = py::none(), ac_spec_name = py::none(),
               pattern_set_name = py::none();
};

}  // namespace

void register_last_flow_info(py::module_& m) {
    py::class_<LastFlowInfo> cls(m, "LastFlowInfo", py::dynamic_attr());
    host::constructor<LastFlowInfo>(cls);
    cls.def_readwrite("dc_spec_name", &LastFlowInfo::dc_spec_name)
        .def_readwrite("glob_spec_name", &LastFlowInfo::glob_spec_name)
        .def_readwrite("ac_spec_name", &LastFlowInfo::ac_spec_name)
        .def_readwrite("pattern_set_name", &LastFlowInfo::pattern_set_name);
}

void register_engine_state(MarletClass& cls) {
    host::constructor_then<Marlet>(cls, {"temp_directory"},
                                   [](py::object self, py::object temp_directory) { set_initial_state(self, temp_directory); });

    host::method(cls, "reset", {}, [](py::object self) { set_initial_state(self, py::handle()); });
    host::method(cls, "read_device",
                 {"device_path", "power_order_path", "pattern_path", "platform", "text", "cycle_mode", "context_env",
                  "enable_vbt_check", "progressbarOne"},
                 [](py::object self, py::str device_path, py::str power_order_path, py::str pattern_path,
                    py::object platform, py::object text, py::object cycle_mode, py::object context_env,
                    py::object enable_vbt_check, py::object progress) {
                     read_device(self, device_path, power_order_path, pattern_path, platform, text, cycle_mode,
                                 context_env, enable_vbt_check, progress);
                 });
    host::method(cls, "get_job_list", {}, [](py::object self) { return state(self).job_list_dict(); });
    host::method(cls, "_Marlet__put_data_log", {"data_log"},
                 [](py::object self, py::object data_log) { send_to_sink(state(self).text(), data_log); });
    host::method(cls, "update_progressbar", {"val"},
                 [](py::object self, py::object value) { send_to_sink(state(self).progressbarOne(), value); });
}

}  // namespace tallowby::engine
