#include "engine/state.hpp"

#include <array>

#include "host/checked.hpp"

namespace tallowby::engine {

namespace {

#define TALLOWBY_FIELD_COUNT(name) +1
constexpr size_t kFieldCount = 0 TALLOWBY_ENGINE_STATE(TALLOWBY_FIELD_COUNT);
#undef TALLOWBY_FIELD_COUNT

}  // namespace

py::handle EngineState::key(Field field) {
    static const std::array<PyObject*, kFieldCount> names = [] {
        std::array<PyObject*, kFieldCount> made{};
        size_t i = 0;
#define TALLOWBY_FIELD_NAME(name) made[i++] = host::check(PyUnicode_InternFromString(#name));
        TALLOWBY_ENGINE_STATE(TALLOWBY_FIELD_NAME)
#undef TALLOWBY_FIELD_NAME
        return made;
    }();
    return names[static_cast<size_t>(field)];
}

}  // namespace tallowby::engine
