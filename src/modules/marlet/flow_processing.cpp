// Registration of the per-job processing and the flow columns of the job sheet.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_flow_processing(MarletClass& cls) {
    host::method(cls, "_Marlet__run_each_flow", {"job_name"},
                 [](py::object self, py::str job_name) { run_each_flow(self, job_name); });
    host::method(cls, "_Marlet__init", {}, [](py::object self) { init_job_sheet(self); });
    host::method(cls, "_Marlet__test_table_process", {"flow_table_index", "flow_table_info"},
                 [](py::object self, py::object index, py::object info) { test_table_process(self, index, info); });
    host::method(cls, "excel_file_optimise", {"worksheet", {"freezePane", py::str("C2")}},
                 [](py::object self, py::object worksheet, py::object freeze_pane) {
                     excel_file_optimise(self, worksheet, freeze_pane);
                 });
}

}  // namespace tallowby::engine
