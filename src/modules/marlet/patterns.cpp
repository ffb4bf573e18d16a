// Registration of the engine's pattern column operations: __pattern_period_clk_process, __extract_per_clk.
#include "engine/engine.hpp"
#include "engine/pattern_columns.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

void register_patterns(MarletClass& cls) {
    cls.def("_Marlet__pattern_period_clk_process", [](py::handle self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.__pattern_period_clk_process",
                                         {"dps_count", "write_row_start", "flow_table_info", "flow_table_directory"});
        auto a = sig.bind(args, kwargs);
        write_pattern_columns(self, a[0], a[1], a[2], a[3]);
    });
    cls.def("_Marlet__extract_per_clk", [](py::handle self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.__extract_per_clk",
                                         {"pattern_name", "timing_name", "category_name", "selector_name"});
        auto a = sig.bind(args, kwargs);
        const py::str pattern = host::arg_str(a[0], "pattern_name");
        const py::str timing = host::arg_str(a[1], "timing_name");
        const py::str category = host::arg_str(a[2], "category_name");
        const py::str selector = host::arg_str(a[3], "selector_name");
        return pattern_periods_and_clocks(self, pattern, timing, category, selector);
    });
}

}  // namespace tallowby::engine
