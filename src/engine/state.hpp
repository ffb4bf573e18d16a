// The engine's state: the attributes of a Marlet object. They stay in the
// object's own dictionary, where the front end, the sheet writers and
// vars(engine) find them (in the order the constructor sets them); the C++
// reaches each through its field below, whose name is made once, so that a
// misspelt name does not compile and no look-up makes a new text.
//
//   const EngineState state(engine);
//   py::object folder = state.device_directory();   // engine.device_directory
//   state.work_sheet() = sheet;                      // engine.work_sheet = sheet
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// Every attribute of the engine's state: those the constructor sets, in its
// order, then those that read_device, run and the per-job processing set.
#define TALLOWBY_ENGINE_STATE(FIELD)                                                                               \
    FIELD(power_order_path)                                                                                          \
    FIELD(pattern_path)                                                                                              \
    FIELD(job_list_dict)                                                                                             \
    FIELD(device_directory)                                                                                          \
    FIELD(work_sheet)                                                                                                \
    FIELD(text)                                                                                                      \
    FIELD(last_flow_info)                                                                                            \
    FIELD(glob_spec_dict)                                                                                            \
    FIELD(MAX_DSP_CNT)                                                                                               \
    FIELD(pattern_set_dict)                                                                                          \
    FIELD(dc_spec_dict)                                                                                              \
    FIELD(platform)                                                                                                  \
    FIELD(tsb_dict)                                                                                                  \
    FIELD(clock_dic)                                                                                                 \
    FIELD(print_inst_info_col_cnt)                                                                                   \
    FIELD(write_row_index)                                                                                           \
    FIELD(cycle_mode)                                                                                                \
    FIELD(tset_dict)                                                                                                 \
    FIELD(pat2inst_dict)                                                                                             \
    FIELD(progressbarOne)                                                                                            \
    FIELD(power_list)                                                                                                \
    FIELD(sort_bin_dscrp)                                                                                            \
    FIELD(power_pin_clamp_dict)                                                                                      \
    FIELD(enable_quillon)                                                                                            \
    FIELD(context_env)                                                                                               \
    FIELD(format_red)                                                                                                \
    FIELD(format_yellow)                                                                                             \
    FIELD(format_orange)                                                                                             \
    FIELD(format_bold)                                                                                               \
    FIELD(ac_spec_dict)                                                                                              \
    FIELD(spec_version)                                                                                              \
    FIELD(pattern_cycle_dict)                                                                                        \
    FIELD(test_instance_dict)

class EngineState {
public:
    enum class Field {
#define TALLOWBY_FIELD_ENUM(name) name,
        TALLOWBY_ENGINE_STATE(TALLOWBY_FIELD_ENUM)
#undef TALLOWBY_FIELD_ENUM
    };

    explicit EngineState(py::handle engine) : engine_(engine) {}

    // engine.<field>: read as the host reads an attribute (AttributeError
    // while unset), or assigned with `= value`.
#define TALLOWBY_FIELD_ACCESSOR(name) \
    auto name() const { return engine_.attr(key(Field::name)); }
    TALLOWBY_ENGINE_STATE(TALLOWBY_FIELD_ACCESSOR)
#undef TALLOWBY_FIELD_ACCESSOR

    // The attribute name of a field (made once, kept for the process).
    static py::handle key(Field field);

private:
    py::handle engine_;
};

// The state of `engine`.
inline EngineState state(py::handle engine) { return EngineState(engine); }

}  // namespace tallowby::engine
