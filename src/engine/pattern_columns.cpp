#include "engine/pattern_columns.hpp"

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/run_cache.hpp"
#include "engine/sheet_gateway.hpp"
#include "engine/spec_expression.hpp"
#include "engine/state.hpp"
#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

bool frequency_mode(py::handle engine) { return host::equals(state(engine).cycle_mode(), "Frequency"); }

py::str joined(py::handle items) {
    return host::steal<py::str>(PyUnicode_Join(py::str(",").ptr(), items.ptr()));
}

py::str numbered(const char* head, size_t j) { return py::str(head + std::to_string(j)); }

// A period or clock expression as the cell shows it: resolved against the
// AC spec, in frequency mode turned into 1/(period), evaluated, with its
// unit. On failure the error text names `label` and quotes the working
// text as far as resolution took it (starting as `working`). A value below
// every unit (zero, negative) counts as a failure: it has no text.
py::str evaluated_with_unit(py::handle engine, py::handle expression, py::handle category, py::handle selector,
                            py::handle label, py::object working) {
    try {
        working = resolve_through_engine(engine, expression, state(engine).ac_spec_dict(), category, selector);
        if (frequency_mode(engine)) working = concat(concat(py::str("1/("), working), py::str(")"));
        static const host::OwnOperation unit_step("add_unit", marlet_class);
        const py::object number = evaluate_resolved(working);
        const py::object text = unit_step(engine, [&] { return with_unit(number); }, number);
        if (!PyUnicode_Check(text.ptr())) {
            host::raise(PyExc_ValueError, "no unit for a value below 1e-12");
        }
        return py::reinterpret_borrow<py::str>(text);
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        return concat(concat(concat(py::str("Error: cannot parse AC variables: "), label), py::str("=")), working);
    }
}

struct PatternCells {
    py::str periods;
    py::str clocks;
};

// One pattern of an instance, through the engine's __extract_per_clk: its
// period and clock cell texts. A failure leaves both cells empty and is
// reported; otherwise the test suite is recorded as a user of the pattern.
PatternCells evaluate_pattern(py::handle engine, py::handle suite, const py::object& pattern, py::handle timing,
                              py::handle category, py::handle selector) {
    try {
        static const host::OwnOperation clock_step("_Marlet__extract_per_clk", marlet_class);
        const py::object result = clock_step(
            engine,
            [&] {
                return pattern_periods_and_clocks(engine, host::arg_str(pattern, "pattern_name"),
                                                  host::arg_str(timing, "timing_name"),
                                                  host::arg_str(category, "category_name"),
                                                  host::arg_str(selector, "selector_name"));
            },
            pattern, timing, category, selector);
        const py::tuple pair = py::tuple(result);
        if (pair.size() != 2) {
            host::raise(PyExc_ValueError, "expected a pair of period and clock lists");
        }
        PatternCells cells{joined(pair[0]), joined(pair[1])};
        const py::object users = state(engine).pat2inst_dict();
        const bool known = host::holds(users, pattern);
        if (known) {
            users[pattern].attr("append")(suite);
        } else {
            py::list first;
            first.append(suite);
            users[pattern] = first;
        }
        return cells;
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        log_and_print(engine, concat(py::str("Warning: cannot read pattern file: "), pattern));
        return {py::str(""), py::str("")};
    }
}

void set_row_options(py::handle sheet, py::handle row, const py::dict& options) {
    sheet.attr("set_row")(row, py::none(), py::none(), options);
}

}  // namespace

void write_pattern_columns(py::handle engine, py::handle dps_count, py::handle write_row_start,
                           py::handle flow_table_info, py::handle flow_table_directory) {
    const py::object suite = flow_table_info[py::str("Parameter")];
    if (!known_test_suite(engine, suite)) return;

    const py::object records = state(engine).test_instance_dict()[suite];
    const py::object sheet = state(engine).work_sheet();
    const py::object first_row = py::reinterpret_borrow<py::object>(write_row_start) + py::int_(1);
    if (py::len(records) >= 2) {
        py::dict collapsed;
        collapsed["collapsed"] = true;
        set_row_options(sheet, first_row, collapsed);
    }

    size_t k = 0;
    for (py::handle record : records) {
        const py::object row = first_row + py::int_(k);
        const py::object pattern = record[py::str("Pattern")];
        const py::object timing = record[py::str("TimeSet")];
        const py::object category = category_in_context(engine, record[py::str("AC Category")]);
        const py::object selector = record[py::str("AC Selector")];

        if (!is_empty_text(pattern) && !is_empty_text(timing)) {
            // the timing sheet named by the TimeSet cell's first part, kept under the whole cell
            const py::list timing_names = host::split_char(timing, ',');
            const py::str sheet_path = path_join(flow_table_directory, concat(timing_names[0], py::str(".txt")));
            const py::object platform = state(engine).platform();
            const py::tuple read = read_once(CacheKey("timing").file(sheet_path).text(platform), [&] {
                TimingSheet sheet;
                sheet.read(sheet_path, platform);
                return py::object(py::make_tuple(sheet.periods(), sheet.clocks()));
            });
            state(engine).tsb_dict()[timing] = read[0];
            state(engine).clock_dic()[timing] = read[1];

            const py::object first_column = state(engine).print_inst_info_col_cnt();
            const py::object base = first_column + py::reinterpret_borrow<py::object>(dps_count);
            const char* period_head = frequency_mode(engine) ? "Freq_" : "Period_";
            const py::object zero = py::int_(0);
            auto write_headers = [&](const py::object& col, size_t j) {
                write_text(sheet, zero, col, numbered("PatternName_", j));
                sheet.attr("set_column")(col, col, 40);
                write_text(sheet, zero, col + py::int_(1), numbered(period_head, j));
                write_text(sheet, zero, col + py::int_(2), numbered("Clock_", j));
            };
            auto write_cells = [&](const py::object& col, const py::object& piece, const PatternCells& cells) {
                write_text(sheet, row, col, piece);
                write_text(sheet, row, col + py::int_(1), cells.periods);
                write_text(sheet, row, col + py::int_(2), cells.clocks);
            };

            write_headers(base, 0);
            if (host::StrView(pattern).find(',') < 0) {
                const PatternCells cells = evaluate_pattern(engine, suite, pattern, timing, category, selector);
                write_cells(base, pattern, cells);
            } else {
                const py::list pieces = host::split_char(pattern, ',');
                for (size_t j = 0; j < pieces.size(); ++j) {
                    const py::object piece = pieces[j];
                    const py::object col = base + py::int_(3 * j);
                    const PatternCells cells = evaluate_pattern(engine, suite, piece, timing, category, selector);
                    write_headers(col, j);
                    write_cells(col, piece, cells);
                }
            }
        }

        if (k >= 1) {
            py::dict folded;
            folded["level"] = 1;
            folded["hidden"] = true;
            set_row_options(sheet, row, folded);
        }
        ++k;
    }
}

py::tuple pattern_periods_and_clocks(py::handle engine, const py::str& pattern, const py::str& timing,
                                     const py::str& category, const py::str& selector) {
    const py::object pattern_path = state(engine).pattern_path();
    if (is_empty_text(pattern_path)) {
        py::list none_period, none_clock;
        none_period.append(py::str(""));
        none_clock.append(py::str(""));
        return py::make_tuple(none_period, none_clock);
    }

    // The pattern's time sets: from the cache when the pattern was met
    // before, else from the pattern tool.
    const py::object cache = state(engine).tset_dict();
    const bool known = host::holds(cache, pattern);
    py::object earlier;
    py::list names;
    if (known) {
        earlier = cache[pattern];
        names = py::list(earlier);
    } else {
        PatternSetSheet tool;
        tool.read_time_sets(pattern_path, pattern);
        names = py::list(tool.time_sets());
    }

    py::list periods, clocks;
    py::dict stored;
    for (py::handle name : names) {
        const py::str upper_name = host::upper(name);
        const py::object periods_of_sheet = state(engine).tsb_dict()[timing];
        const bool listed = host::holds(periods_of_sheet, upper_name);
        py::str period(""), clock("");
        if (!listed) {
            log_and_print(engine, concat(concat(concat(concat(concat(py::str("Warning: Tset("), name),
                                                              py::str(") in pattern(")), pattern),
                                                py::str(") is not list in TSB: ")),
                                         timing));
        } else {
            const py::object expression = periods_of_sheet[upper_name];
            const py::object clock_map = state(engine).clock_dic()[timing][upper_name];
            period = evaluated_with_unit(engine, expression, category, selector, expression, py::str(""));
            for (auto entry : py::dict(clock_map)) {
                const py::object clock_name = py::reinterpret_borrow<py::object>(entry.first);
                const py::object clock_expression = py::reinterpret_borrow<py::object>(entry.second);
                const py::str value =
                    evaluated_with_unit(engine, clock_expression, category, selector, clock_name, clock_expression);
                clock = concat(clock, concat(concat(concat(clock_name, py::str(":")), value), py::str(";")));
            }
        }
        periods.append(period);
        clocks.append(clock);
        stored[name] = known ? concat(concat(earlier[name], py::str(",")), period) : period;
    }
    cache[pattern] = stored;
    return py::make_tuple(periods, clocks);
}

}  // namespace tallowby::engine
