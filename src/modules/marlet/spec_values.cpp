// Registration of the engine's spec_values operations (to be written).
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_spec_values(MarletClass&) {}

}  // namespace tallowby::engine
