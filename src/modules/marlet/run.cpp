// Registration of the engine's run operations.
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_run(MarletClass&) {}

}  // namespace tallowby::engine
