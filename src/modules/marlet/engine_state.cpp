// Registration of the engine object: constructor, reset, read_device,
// get_job_list, the two sinks, and the last-file cache record.
#include <memory>

#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

namespace {

using host::arg_str;
using host::Signature;

struct LastFlowInfo {
    py::object dc_spec_name = py::none(), glob_spec_name = py::none(), ac_spec_name = py::none(),
               pattern_set_name = py::none();
};

}  // namespace

void register_last_flow_info(py::module_& m) {
    py::class_<LastFlowInfo>(m, "LastFlowInfo", py::dynamic_attr())
        .def(py::init([](py::args args, py::kwargs kwargs) {
            static const Signature sig("LastFlowInfo.__init__", {});
            sig.bind_none(args, kwargs);
            return LastFlowInfo();
        }))
        .def_readwrite("dc_spec_name", &LastFlowInfo::dc_spec_name)
        .def_readwrite("glob_spec_name", &LastFlowInfo::glob_spec_name)
        .def_readwrite("ac_spec_name", &LastFlowInfo::ac_spec_name)
        .def_readwrite("pattern_set_name", &LastFlowInfo::pattern_set_name);
}

void register_engine_state(MarletClass& cls) {
    cls.def(py::init([](py::args, py::kwargs) { return Marlet(); }));
    // The constructor proper: checks its arguments as the host does, then
    // sets the initial state on the new object.
    py::object make = cls.attr("__init__");
    cls.attr("__init__") = py::cpp_function(
        [make](py::object self, py::args args, py::kwargs kwargs) {
            static const Signature sig("Marlet.__init__", {"temp_directory"});
            auto a = sig.bind(args, kwargs);
            make(self);
            set_initial_state(self, a[0]);
        },
        py::is_method(cls), py::name("__init__"));

    cls.def("reset", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.reset", {});
        sig.bind_none(args, kwargs);
        set_initial_state(self, py::handle());
    });
    cls.def("read_device", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.read_device",
                                   {"device_path", "power_order_path", "pattern_path", "platform", "text", "cycle_mode",
                                    "context_env", "enable_vbt_check", "progressbarOne"});
        auto a = sig.bind(args, kwargs);
        py::str device_path = arg_str(a[0], "device_path");
        py::str power_order_path = arg_str(a[1], "power_order_path");
        py::str pattern_path = arg_str(a[2], "pattern_path");
        read_device(self, device_path, power_order_path, pattern_path, a[3], a[4], a[5], a[6], a[7], a[8]);
    });
    cls.def("get_job_list", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.get_job_list", {});
        sig.bind_none(args, kwargs);
        return self.attr("job_list_dict");
    });
    cls.def("_Marlet__put_data_log", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.__put_data_log", {"data_log"});
        auto a = sig.bind(args, kwargs);
        send_to_sink(self, "text", a[0]);
    });
    cls.def("update_progressbar", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.update_progressbar", {"val"});
        auto a = sig.bind(args, kwargs);
        send_to_sink(self, "progressbarOne", a[0]);
    });
}

}  // namespace tallowby::engine
