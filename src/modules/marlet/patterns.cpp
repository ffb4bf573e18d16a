// Registration of the engine's patterns operations (to be written).
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_patterns(MarletClass&) {}

}  // namespace tallowby::engine
