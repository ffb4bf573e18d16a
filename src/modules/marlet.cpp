// tallowby.marlet: the device check engine.
#include <pybind11/pybind11.h>

#include "engine/engine.hpp"

namespace py = pybind11;

PYBIND11_MODULE(marlet, m) {
    namespace engine = tallowby::engine;
    engine::load_dependencies(m);
    engine::register_last_flow_info(m);
    engine::MarletClass cls(m, "Marlet", py::dynamic_attr());
    engine::register_engine_state(cls);
    engine::register_run(cls);
    engine::register_flow_processing(cls);
    engine::register_summary_sheets(cls);
    engine::register_spec_values(cls);
    engine::register_power_pins(cls);
    engine::register_patterns(cls);
}
