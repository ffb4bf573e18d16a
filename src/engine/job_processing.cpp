// One job of the device check: its flow table and the sheets it names (spec
// sheets skipped when they are the files read last), then three passes over
// the flow rows: placing them on the job sheet, the flow and power-pin
// columns, and the pattern columns.
#include <string>

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/lead_operations.hpp"
#include "engine/pattern_columns.hpp"
#include "engine/power_pins.hpp"
#include "engine/run_cache.hpp"
#include "engine/sheet_gateway.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/console.hpp"
#include "host/number_args.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

py::object os_path() { return py::module_::import("os").attr("path"); }

py::object blanks_encoded(py::handle text) { return text.attr("replace")(" ", "%20"); }

// The spec sheet's path: the name as it stands when that file exists, else
// with its blanks encoded.
py::object spec_path(py::handle directory, py::handle name) {
    py::object plain = path_join(directory, add(name, py::str(".txt")));
    if (os_path().attr("exists")(plain).cast<bool>()) return plain;
    return path_join(directory, add(blanks_encoded(name), py::str(".txt")));
}

py::list sheet_paths(py::handle directory, py::handle names) {
    py::list paths;
    for (py::handle name : py::iter(names)) paths.append(path_join(directory, add(blanks_encoded(name), py::str(".txt"))));
    return paths;
}

// Runs `body`; an ordinary error is handed to `on_error` and the work goes
// on, anything else (an interruption) goes to the caller.
template <typename Body, typename OnError>
void guarded(Body&& body, OnError&& on_error) {
    try {
        try {
            body();
        } catch (py::builtin_exception& e) {
            e.set_error();
            host::raise_error();
        }
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        on_error(e);
    }
}

py::float_ fraction_progress(double base, double span, Py_ssize_t part, Py_ssize_t whole) {
    return py::float_(base + static_cast<double>(static_cast<long long>(span) * part) / static_cast<double>(whole));
}

void log_row_failure(py::handle self, const char* headline, py::error_already_set& e, Py_ssize_t index,
                     py::handle row) {
    put_log(self, std::string(headline));
    put_log(self, py::str(e.value()));
    py::str index_text = py::str(py::int_(index));
    put_log(self, add(add(index_text, py::str(" - ")), py::str(row)));
    py::object print = py::module_::import("builtins").attr("print");
    print(py::int_(index), row);
}

// The operations run for every flow row: a subclass may replace each one.
const host::OwnOperation test_table_step("_Marlet__test_table_process", marlet_class);
const host::OwnOperation power_step("_Marlet__power_process_and_get_count", marlet_class);
const host::OwnOperation max_column_step("save_max_col", marlet_class);
const host::OwnOperation pattern_step("_Marlet__pattern_period_clk_process", marlet_class);

// What reading a job's pattern-set or test-instance sheets gave: the
// reader's results, the sheets that failed (path, error text) in order, and
// the last sheet read without failure (None if none was). Kept in the run's
// cache as one tuple, so that a later job with the same sheets replays the
// same log lines.
struct JobSheets {
    py::object first = py::none();
    py::object second = py::none();
    py::list failures;
    py::object last_read = py::none();

    JobSheets() = default;
    explicit JobSheets(const py::object& answer) {
        const py::tuple t = py::reinterpret_borrow<py::tuple>(answer);
        first = t[0];
        second = t[1];
        failures = py::reinterpret_borrow<py::list>(t[2]);
        last_read = t[3];
    }
    py::object answer() const { return py::make_tuple(first, second, failures, last_read); }
};

}  // namespace

void run_each_flow(py::handle self, const py::str& job_name) {
    py::object job = state(self).job_list_dict()[job_name];
    py::object flow_name_cell = job[py::str("Flow Table")];
    py::object flow_path = add(add(add(state(self).device_directory(), py::str("/")), flow_name_cell),
                                  py::str(".txt"));
    progress(self, py::int_(1));

    py::str flow_path_text = py::str(flow_path);
    Py_ssize_t last_slash = PyUnicode_FindChar(flow_path_text.ptr(), '/', 0, PY_SSIZE_T_MAX, -1);
    py::object directory = flow_path_text[py::slice(0, last_slash, 1)];
    py::str file_name = flow_path_text[py::slice(last_slash + 1, PY_SSIZE_T_MAX, 1)];
    py::object flow_name = file_name.attr("split")(".")[py::int_(0)];
    put_log(self, add(py::str("Parse Job: "), job_name));
    put_log(self, add(py::str("Parse Flow Table: "), flow_name));
    if (equal(flow_name_cell, py::str(""))) {
        put_log(self, std::string("Flow Table Path Cannot be Empty, Please Check!"));
        return;
    }

    py::object platform = state(self).platform();
    FlowTableSheet flow_table;
    flow_table.read(blanks_encoded(flow_path), platform);
    py::object rows = flow_table.test_suites();

    py::object dc_path = spec_path(directory, job[py::str("DC Spec")]);
    py::object ac_path = spec_path(directory, job[py::str("AC Spec")]);
    py::object glob_path = spec_path(directory, job[py::str("Global Spec")]);
    py::list pattern_set_paths = sheet_paths(directory, job[py::str("PatternSet")]);
    py::list instance_paths = sheet_paths(directory, job[py::str("TestInstanceList")]);
    progress(self, py::int_(2));

    py::object cache = state(self).last_flow_info();
    const py::object pattern_path = state(self).pattern_path();
    CacheKey pattern_set_key("pattern sets");
    pattern_set_key.text(pattern_path).text(platform);
    for (py::handle path : pattern_set_paths) pattern_set_key.file(path);
    const py::object pattern_set_answer = read_once(pattern_set_key, [&] {
        JobSheets read;
        PatternSetSheet pattern_sets;
        for (py::handle path : pattern_set_paths) {
            guarded([&] {
                    pattern_sets.read(path, pattern_path, platform);
                    read.last_read = py::reinterpret_borrow<py::object>(path);
                },
                [&](py::error_already_set& e) { read.failures.append(py::make_tuple(path, py::str(e.value()))); });
        }
        read.first = pattern_sets.sets();
        read.second = pattern_sets.cycles();
        return read.answer();
    });
    const JobSheets pattern_set_read(pattern_set_answer);
    for (py::size_t i = 0; i < pattern_set_read.failures.size(); ++i)
        put_log(self, std::string("Warning: cannot read PatternSet, please check it!"));
    if (!pattern_set_read.last_read.is_none()) cache.attr("pattern_set_name") = pattern_set_read.last_read;
    state(self).pattern_set_dict() = pattern_set_read.first;
    state(self).pattern_cycle_dict() = pattern_set_read.second;
    progress(self, py::int_(3));

    // The instances depend on the pattern sets just read: cached only when
    // those were (under the same files).
    CacheKey instance_key("test instances");
    if (auto sets = pattern_set_key.get()) {
        instance_key.part(*sets);
    } else {
        instance_key.uncacheable();
    }
    for (py::handle path : instance_paths) instance_key.file(path);
    const py::object pattern_set_dict = state(self).pattern_set_dict();
    const JobSheets instance_read(read_once(instance_key, [&] {
        JobSheets read;
        TestInstanceSheet instances;
        for (py::handle path : instance_paths) {
            guarded([&] { instances.read(path, pattern_set_dict, platform); },
                    [&](py::error_already_set& e) { read.failures.append(py::make_tuple(path, py::str(e.value()))); });
        }
        read.first = instances.instances();
        return read.answer();
    }));
    for (py::handle failure : instance_read.failures) {
        const py::tuple pair = py::reinterpret_borrow<py::tuple>(failure);
        put_log(self, add(add(py::str("Error: cannot read "), pair[0]), py::str(", please check it!")));
        host::print_line(py::str(pair[1]));
    }
    state(self).test_instance_dict() = instance_read.first;
    progress(self, py::int_(4));

    if (!equal(dc_path, cache.attr("dc_spec_name"))) {
        SpecSheet dc(SpecSheet::Kind::DC);
        dc.read(dc_path, platform);
        state(self).dc_spec_dict() = dc.specs();
        state(self).spec_version() = dc.version();
        cache.attr("dc_spec_name") = dc_path;
    }
    progress(self, py::int_(5));

    if (!equal(glob_path, cache.attr("glob_spec_name"))) {
        SpecSheet glob(SpecSheet::Kind::Global);
        guarded(
            [&] {
                glob.read(glob_path, platform);
                state(self).glob_spec_dict() = glob.specs();
                cache.attr("glob_spec_name") = glob_path;
            },
            [&](py::error_already_set&) { put_log(self, std::string("Warning: cannot read Global Specs, please check it!")); });
    }
    progress(self, py::int_(6));

    if (!equal(ac_path, cache.attr("ac_spec_name"))) {
        SpecSheet ac(SpecSheet::Kind::AC);
        ac.read(ac_path, platform);
        state(self).ac_spec_dict() = ac.specs();
        state(self).spec_version() = ac.version();
        cache.attr("ac_spec_name") = ac_path;
    }
    progress(self, py::int_(7));

    static const host::OwnOperation sheet_start_step("_Marlet__init", marlet_class);
    sheet_start_step(self, [&] { init_job_sheet(self); });
    state(self).sort_bin_dscrp() = py::list();

    // Pass 1: where each flow row's instance rows begin; the sort bins.
    const Py_ssize_t n = host::size(rows);
    py::str write_row_start("write_row_start");
    Py_ssize_t index = 0;
    for (py::handle row : py::iter(rows)) {
        py::object sort_bin = row[py::str("SortBin")];
        if (!equal(sort_bin, py::str(""))) {
            py::list pair;
            pair.append(sort_bin);
            pair.append(row[py::str("Parameter")]);
            state(self).sort_bin_dscrp().attr("append")(pair);
        }
        row[write_row_start] = state(self).write_row_index();
        py::object instance_rows = state(self).test_instance_dict();
        py::object parameter = row[py::str("Parameter")];
        const bool known = host::holds(instance_rows, parameter);
        if (known) {
            const Py_ssize_t count = host::size(py::object(instance_rows[parameter]));
            state(self).write_row_index() = add(state(self).write_row_index(), py::int_(count));
        }
        progress(self, fraction_progress(8, 10, index, n));
        ++index;
    }

    // Pass 2: flow columns and power-pin columns.
    state(self).power_list() = py::list();
    index = 0;
    for (py::handle row : py::iter(rows)) {
        guarded(
            [&] {
                py::object start = row[write_row_start];
                test_table_step(self, [&] { test_table_process(self, start, row); }, start, row);
                py::object start_again = row[write_row_start];
                py::object count = power_step(
                    self, [&] { return process_power_pins(self, directory, row, start_again); }, directory, row,
                    start_again);
                max_column_step(
                    self, [&] { raise_max_dps_count(self, host::arg_truncated_int(count, "col_cnt")); },
                    count);
            },
            [&](py::error_already_set& e) { log_row_failure(self, "Error found in power process:", e, index, row); });
        progress(self, fraction_progress(19, 10, index, n));
        ++index;
    }

    // Pass 3: pattern, period and clock columns.
    index = 0;
    for (py::handle row : py::iter(rows)) {
        guarded(
            [&] {
                const py::object dps_count = state(self).MAX_DSP_CNT();
                const py::object start = row[write_row_start];
                pattern_step(
                    self, [&] { write_pattern_columns(self, dps_count, start, row, directory); },
                    dps_count, start, row, directory);
            },
            [&](py::error_already_set& e) {
                log_row_failure(self, "Error found in pattern/timing process:", e, index, row);
            });
        progress(self, fraction_progress(30, 70, index + 1, n));
        ++index;
    }
}

}  // namespace tallowby::engine
