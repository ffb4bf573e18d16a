// Registration of the summary sheet writers.
#include <memory>
#include <string>
#include <utility>

#include "engine/engine.hpp"
#include "engine/lead_operations.hpp"
#include "host/args.hpp"

namespace tallowby::engine {

void register_summary_sheets(MarletClass& cls) {
    using host::Signature;
    cls.def("write_pat_tset_map", [](py::object self, py::args args, py::kwargs kwargs) {
        static const Signature sig("Marlet.write_pat_tset_map", {"pat2inst_dict", "my_dict", "worksheet"});
        auto a = sig.bind(args, kwargs);
        write_pat_tset_map(self, a[0], a[1], a[2]);
    });
    using SheetWriter = void (*)(py::handle, py::handle);
    const std::pair<const char*, SheetWriter> one_sheet[] = {{"write_bin_descrp", write_bin_descrp},
                                                             {"write_inst_para", write_inst_para},
                                                             {"write_power_pin_clamp", write_power_pin_clamp}};
    for (const auto& [name, write] : one_sheet) {
        auto sig = std::make_shared<const Signature>(std::string("Marlet.") + name,
                                                     std::initializer_list<Signature::Param>{"worksheet"});
        cls.def(name, [sig, write = write](py::object self, py::args args, py::kwargs kwargs) {
            auto a = sig->bind(args, kwargs);
            write(self, a[0]);
        });
    }
}

}  // namespace tallowby::engine
