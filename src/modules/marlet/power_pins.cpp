// Registration of the engine's power pin operations: __power_process_and_get_count, save_max_col.
#include "engine/engine.hpp"
#include "engine/power_pins.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_power_pins(MarletClass& cls) {
    host::method(cls, "_Marlet__power_process_and_get_count",
                 {"flow_table_directory", "flow_table_info", "flow_table_index"},
                 [](py::handle self, py::object directory, py::object info, py::object index) {
                     return process_power_pins(self, directory, info, index);
                 });
    host::method(cls, "save_max_col", {"col_cnt"},
                 [](py::handle self, host::TruncatedInt count) { raise_max_dps_count(self, count); });
}

}  // namespace tallowby::engine
