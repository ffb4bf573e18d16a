// Registration of the engine's power pin operations: __power_process_and_get_count, save_max_col.
#include "engine/engine.hpp"
#include "engine/power_pins.hpp"
#include "host/args.hpp"
#include "host/number_args.hpp"

namespace tallowby::engine {

void register_power_pins(MarletClass& cls) {
    cls.def("_Marlet__power_process_and_get_count", [](py::handle self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.__power_process_and_get_count",
                                         {"flow_table_directory", "flow_table_info", "flow_table_index"});
        auto a = sig.bind(args, kwargs);
        return process_power_pins(self, a[0], a[1], a[2]);
    });
    cls.def("save_max_col", [](py::handle self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.save_max_col", {"col_cnt"});
        auto a = sig.bind(args, kwargs);
        raise_max_dps_count(self, host::arg_truncated_int(a[0], "col_cnt"));
    });
}

}  // namespace tallowby::engine
