// Registration of the engine's flow_processing operations.
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_flow_processing(MarletClass&) {}

}  // namespace tallowby::engine
