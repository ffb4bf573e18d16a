// main: the command of the VBT tools.
#include "host/bind.hpp"
#include "modules/quillon/refactor_bindings.hpp"
#include "refactor/command_line.hpp"

namespace tallowby::refactor {

void register_command_line(py::module_& m) {
    py::module_ quillon = m;
    host::function(m, "main", {}, [quillon] { run_command_line(quillon); }, "主函数");
}

}  // namespace tallowby::refactor
