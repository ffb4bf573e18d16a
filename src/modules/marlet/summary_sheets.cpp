// Registration of the summary sheet writers.
#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/bind.hpp"

namespace tallowby::engine {

void register_summary_sheets(MarletClass& cls) {
    host::method(cls, "write_pat_tset_map", {"pat2inst_dict", "my_dict", "worksheet"},
                 [](py::object self, py::object pat2inst, py::object my_dict, py::object worksheet) {
                     write_pat_tset_map(self, pat2inst, my_dict, worksheet);
                 });
    host::method(cls, "write_bin_descrp", {"worksheet"},
                 [](py::object self, py::object worksheet) { write_bin_descrp(self, worksheet); });
    host::method(cls, "write_inst_para", {"worksheet"},
                 [](py::object self, py::object worksheet) { write_inst_para(self, worksheet); });
    host::method(cls, "write_power_pin_clamp", {"worksheet"},
                 [](py::object self, py::object worksheet) { write_power_pin_clamp(self, worksheet); });
}

}  // namespace tallowby::engine
