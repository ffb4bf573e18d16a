// Registration of the engine's summary_sheets operations.
#include "engine/engine.hpp"

namespace tallowby::engine {

void register_summary_sheets(MarletClass&) {}

}  // namespace tallowby::engine
