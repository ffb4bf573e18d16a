// Registration of the engine's engine_state operations.
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_engine_state(MarletClass&) {}

}  // namespace tallowby::engine

namespace tallowby::engine {
void register_last_flow_info(py::module_&) {}
}  // namespace tallowby::engine
