// Registration of run.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

void register_run(MarletClass& cls) {
    cls.def("run", [](py::object self, py::args args, py::kwargs kwargs) {
        static const host::Signature sig("Marlet.run", {"job_name_set", {"work_dir", py::str("./")}});
        auto a = sig.bind(args, kwargs);
        return run(self, a[0], a[1]);
    });
}

}  // namespace tallowby::engine
