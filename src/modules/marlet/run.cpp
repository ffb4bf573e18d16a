// Registration of run.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_run(MarletClass& cls) {
    host::method(cls, "run", {"job_name_set", {"work_dir", py::str("./")}},
                 [](py::object self, py::object job_names, py::object work_dir) { return run(self, job_names, work_dir); });
}

}  // namespace tallowby::engine
