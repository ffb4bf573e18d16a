// Registration of the per-job processing and the flow columns of the job sheet.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

void register_flow_processing(MarletClass& cls) {
    using host::Signature;
    cls.def("_Marlet__run_each_flow", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.__run_each_flow", {"job_name"});
        auto a = sig.bind(args, kwargs);
        run_each_flow(self, host::arg_str(a[0], "job_name"));
    });
    cls.def("_Marlet__init", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.__init", {});
        sig.bind_none(args, kwargs);
        init_job_sheet(self);
    });
    cls.def("_Marlet__test_table_process", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.__test_table_process", {"flow_table_index", "flow_table_info"});
        auto a = sig.bind(args, kwargs);
        test_table_process(self, a[0], a[1]);
    });
    cls.def("excel_file_optimise", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.excel_file_optimise", {"worksheet", {"freezePane", py::str("C2")}});
        auto a = sig.bind(args, kwargs);
        excel_file_optimise(self, a[0], a[1]);
    });
}

}  // namespace tallowby::engine
