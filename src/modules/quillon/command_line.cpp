// main: the command of the VBT tools.
#include "host/args.hpp"
#include "modules/quillon/refactor_bindings.hpp"
#include "refactor/command_line.hpp"

namespace tallowby::refactor {

void register_command_line(py::module_& m) {
    py::module_ quillon = m;
    m.def(
        "main",
        [quillon](py::args args, py::kwargs kwargs) {
            static const host::Signature sig("main", {}, false);
            sig.bind_none(args, kwargs);
            run_command_line(quillon);
        },
        "主函数");
}

}  // namespace tallowby::refactor
