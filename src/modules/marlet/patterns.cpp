// Registration of the engine's pattern column operations: __pattern_period_clk_process, __extract_per_clk.
#include "engine/engine.hpp"
#include "engine/pattern_columns.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_patterns(MarletClass& cls) {
    host::method(cls, "_Marlet__pattern_period_clk_process",
                 {"dps_count", "write_row_start", "flow_table_info", "flow_table_directory"},
                 [](py::handle self, py::object dps_count, py::object row_start, py::object info, py::object directory) {
                     write_pattern_columns(self, dps_count, row_start, info, directory);
                 });
    host::method(cls, "_Marlet__extract_per_clk", {"pattern_name", "timing_name", "category_name", "selector_name"},
                 [](py::handle self, py::str pattern, py::str timing, py::str category, py::str selector) {
                     return pattern_periods_and_clocks(self, pattern, timing, category, selector);
                 });
}

}  // namespace tallowby::engine
