// Registration of the engine's power_pins operations (to be written).
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_power_pins(MarletClass&) {}

}  // namespace tallowby::engine
