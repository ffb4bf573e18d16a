#include "engine/sheet_gateway.hpp"

#include "engine/engine.hpp"

namespace tallowby::engine {

void import_sheet_parsers(py::module_& m) {
    const struct {
        const char* module;
        const char* name;
    } parsers[] = {{"tallowby.garvel", "Garvel"},        {"tallowby.dunmarrow", "Dunmarrow"},
                   {"tallowby.sunmere", "Sunmere"},      {"tallowby.corvain", "ParseGlobalSpec"},
                   {"tallowby.ambrel", "ParsePinLevel"}, {"tallowby.valcour", "ParseTIM"},
                   {"tallowby.hestor", "Hestor"},        {"tallowby.pendrel", "Pendrel"},
                   {"tallowby.ostrand", "Ostrand"}};
    for (const auto& p : parsers) m.attr(p.name) = py::module_::import(p.module).attr(p.name);
}

JobListSheet::JobListSheet() : parser_(engine_global("Hestor")()) {}
void JobListSheet::read(py::handle path) { parser_.attr("read_job_list")(path); }
py::object JobListSheet::jobs() { return parser_.attr("get_test_job_list_info")(); }

FlowTableSheet::FlowTableSheet() : parser_(engine_global("Garvel")()) {}
void FlowTableSheet::read(py::handle path, py::handle platform) { parser_.attr("read_flow_table")(path, platform); }
py::object FlowTableSheet::test_suites() { return parser_.attr("get_test_suite_info")(); }

PatternSetSheet::PatternSetSheet() : parser_(engine_global("Pendrel")()) {}
void PatternSetSheet::read(py::handle path, py::handle pattern_path, py::handle platform) {
    parser_.attr("read_pattern_set")(path, pattern_path, platform);
}
py::object PatternSetSheet::sets() { return parser_.attr("get_pattern_set_info")(); }
py::object PatternSetSheet::cycles() { return parser_.attr("get_pattern_cycle_info")(); }
void PatternSetSheet::read_time_sets(py::handle pattern_folder, py::handle pattern_file) {
    parser_.attr("read_tset_from_pattern")(pattern_folder, pattern_file);
}
py::object PatternSetSheet::time_sets() { return parser_.attr("get_pattern_tset")(); }

TestInstanceSheet::TestInstanceSheet() : parser_(engine_global("Ostrand")()) {}
void TestInstanceSheet::read(py::handle path, py::handle pattern_sets, py::handle platform) {
    parser_.attr("read_test_instance")(path, pattern_sets, platform);
}
py::object TestInstanceSheet::instances() { return parser_.attr("get_instance_info")(); }

namespace {

struct SpecNames {
    const char* parser;
    const char* read;
    const char* info;
};

const SpecNames& spec_names(SpecSheet::Kind kind) {
    static const SpecNames names[] = {{"Dunmarrow", "read_dc_spec", "get_dc_info"},
                                      {"Sunmere", "read_ac_spec", "get_ac_info"},
                                      {"ParseGlobalSpec", "read_spec", "get_info"}};
    return names[static_cast<int>(kind)];
}

}  // namespace

SpecSheet::SpecSheet(Kind kind) : kind_(kind), parser_(engine_global(spec_names(kind).parser)()) {}
void SpecSheet::read(py::handle path, py::handle platform) { parser_.attr(spec_names(kind_).read)(path, platform); }
py::object SpecSheet::specs() { return parser_.attr(spec_names(kind_).info)(); }
py::object SpecSheet::version() { return parser_.attr("get_spec_version")(); }

PinLevelSheet::PinLevelSheet() : parser_(engine_global("ParsePinLevel")()) {}
void PinLevelSheet::read(py::handle path) { parser_.attr("read_pin_level")(path); }
py::object PinLevelSheet::levels() { return parser_.attr("get_pin_level_info")(); }
py::object PinLevelSheet::clamps() { return parser_.attr("get_pin_clamp_info")(); }

TimingSheet::TimingSheet() : parser_(engine_global("ParseTIM")()) {}
void TimingSheet::read(py::handle path, py::handle platform) { parser_.attr("read_timing")(path, platform); }
py::object TimingSheet::periods() { return parser_.attr("get_timing_info")(); }
py::object TimingSheet::clocks() { return parser_.attr("get_clk_info")(); }

}  // namespace tallowby::engine
