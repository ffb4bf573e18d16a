// The engine's one way to the sheet parsers: the nine parser classes, which
// module each comes from, and the operations the engine calls on them. Each
// reader below makes a fresh parser through the engine module's own name for
// its class (so that a parser replaced there is the one used) and calls it
// by its operation names, as the engine's own code would.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// Imports the nine parser classes into the engine module `m`, under their
// own names (Garvel, Ostrand, Pendrel, ...).
void import_sheet_parsers(py::module_& m);

// Hestor: the job list.
class JobListSheet {
public:
    JobListSheet();
    void read(py::handle path);
    py::object jobs();  // get_test_job_list_info()

private:
    py::object parser_;
};

// Garvel: a flow table with its sub-flows.
class FlowTableSheet {
public:
    FlowTableSheet();
    void read(py::handle path, py::handle platform);
    py::object test_suites();  // get_test_suite_info()

private:
    py::object parser_;
};

// Pendrel: pattern sets, and the time sets of a pattern file.
class PatternSetSheet {
public:
    PatternSetSheet();
    void read(py::handle path, py::handle pattern_path, py::handle platform);
    py::object sets();    // get_pattern_set_info()
    py::object cycles();  // get_pattern_cycle_info()
    void read_time_sets(py::handle pattern_folder, py::handle pattern_file);
    py::object time_sets();  // get_pattern_tset()

private:
    py::object parser_;
};

// Ostrand: test instances.
class TestInstanceSheet {
public:
    TestInstanceSheet();
    void read(py::handle path, py::handle pattern_sets, py::handle platform);
    py::object instances();  // get_instance_info()

private:
    py::object parser_;
};

// Dunmarrow (DC), Sunmere (AC) and ParseGlobalSpec (global): the spec sheets.
class SpecSheet {
public:
    enum class Kind { DC, AC, Global };
    explicit SpecSheet(Kind kind);
    void read(py::handle path, py::handle platform);
    py::object specs();
    py::object version();  // get_spec_version() (DC and AC)

private:
    Kind kind_;
    py::object parser_;
};

// ParsePinLevel: a pin-level sheet.
class PinLevelSheet {
public:
    PinLevelSheet();
    void read(py::handle path);
    py::object levels();  // get_pin_level_info()
    py::object clamps();  // get_pin_clamp_info()

private:
    py::object parser_;
};

// ParseTIM: a time-set sheet.
class TimingSheet {
public:
    TimingSheet();
    void read(py::handle path, py::handle platform);
    py::object periods();  // get_timing_info()
    py::object clocks();   // get_clk_info()

private:
    py::object parser_;
};

}  // namespace tallowby::engine
