// Registration of the engine's spec value operations: __spec_calculation, add_unit.
#include "engine/engine.hpp"
#include "engine/spec_expression.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_spec_values(MarletClass& cls) {
    host::method(cls, "_Marlet__spec_calculation", {"target", "spec_dict", "category_name", "selector_name"},
                 [](py::handle self, py::object target, py::object specs, py::object category, py::object selector) {
                     return resolve_spec_variables(self, target, specs, category, selector);
                 });
    host::method(cls, "add_unit", {"val"}, [](py::handle, py::object value) { return with_unit(value); });
}

}  // namespace tallowby::engine
