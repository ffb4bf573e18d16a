// Registration of the engine's spec value operations: __spec_calculation, add_unit.
#include "engine/engine.hpp"
#include "engine/spec_expression.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

void register_spec_values(MarletClass& cls) {
    cls.def("_Marlet__spec_calculation", [](py::handle self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.__spec_calculation",
                                         {"target", "spec_dict", "category_name", "selector_name"});
        auto a = sig.bind(args, kwargs);
        return resolve_spec_variables(self, a[0], a[1], a[2], a[3]);
    });
    cls.def("add_unit", [](py::handle, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.add_unit", {"val"});
        auto a = sig.bind(args, kwargs);
        return with_unit(a[0]);
    });
}

}  // namespace tallowby::engine
