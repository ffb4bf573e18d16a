#include "engine/power_pins.hpp"

#include <cmath>

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/run_cache.hpp"
#include "engine/sheet_gateway.hpp"
#include "engine/spec_expression.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"

namespace tallowby::engine {

namespace {

// The text of a power order cell: texts as they are, a whole number without
// its ".0" ("12"), anything else in the host's text form.
py::str cell_text(py::handle value) {
    if (PyUnicode_Check(value.ptr())) return py::reinterpret_borrow<py::str>(value);
    if (PyFloat_Check(value.ptr())) {
        const double d = PyFloat_AsDouble(value.ptr());
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e16) return py::str(py::int_(py::float_(d)));
    }
    return py::str(value);
}

// The pins to process (pin name -> level text) and their display names
// (pin name -> column header), both in insertion order.
struct PinOrder {
    py::dict levels;
    py::dict display_names;
};

// The (pin, display name) cells of the power order file's first sheet,
// header row skipped, up to the first row without a cell in column A or B;
// read once per run.
py::list power_order_cells(py::handle engine) {
    const py::object path = state(engine).power_order_path();
    return read_once(CacheKey("power order").file(path), [&] {
        py::list cells;
        const py::object book = engine_global("xlrd").attr("open_workbook")(path);
        const py::object sheet = book.attr("sheet_by_index")(0);
        const py::object cell_value = sheet.attr("cell_value");
        const Py_ssize_t rows = sheet.attr("nrows").cast<Py_ssize_t>();
        for (Py_ssize_t r = 1; r < rows; ++r) {
            py::object pin, alias;
            try {
                pin = cell_value(r, 0);
                alias = cell_value(r, 1);
            } catch (py::error_already_set& e) {
                if (!e.matches(PyExc_IndexError)) throw;
                break;
            }
            cells.append(py::make_tuple(pin, alias));
        }
        return py::object(std::move(cells));
    });
}

// The pins of the power order file that the pin-level sheet lists, in the
// file's order: first sheet, header row skipped, pin name in column A and
// display name in column B (the pin name when B is empty). Reading stops at
// the first row without a cell in column A or B.
PinOrder pins_in_power_order(py::handle engine, const py::dict& levels) {
    PinOrder order;
    for (py::handle cell : power_order_cells(engine)) {
        const py::object pin = py::reinterpret_borrow<py::tuple>(cell)[0];
        const py::object alias = py::reinterpret_borrow<py::tuple>(cell)[1];
        const py::str pin_text = cell_text(pin);
        order.display_names[pin_text] = is_empty_text(alias) ? pin_text : cell_text(alias);
        // only a text names a pin of the pin-level sheet
        if (PyUnicode_Check(pin.ptr()) && levels.contains(pin)) {
            order.levels[pin_text] = levels[pin_text];
        } else {
            put_log(engine, "Cannot find power pin name in pin level file!");
            put_log(engine, concat(py::str("Power pin name is: "), pin_text));
        }
    }
    return order;
}

PinOrder pins_in_sheet_order(const py::dict& levels) {
    PinOrder order;
    order.levels = levels;
    for (auto item : levels) order.display_names[item.first] = item.first;
    return order;
}

// A level or clamp as the sheet shows it: resolved against the DC spec,
// evaluated, and rounded to 5 decimals.
double rounded_value(py::handle engine, py::handle text, py::handle category, py::handle selector) {
    const py::str resolved = resolve_through_engine(engine, text, state(engine).dc_spec_dict(), category, selector);
    const py::object number = evaluate_resolved(resolved);
    return round_to_5_places(py::float_(number).cast<double>());
}

py::dict as_dict(py::object value, const char* what) {
    if (!PyDict_Check(value.ptr())) {
        host::raise_format(PyExc_TypeError, "%s must be a map, not %.200s", what, Py_TYPE(value.ptr())->tp_name);
    }
    return py::reinterpret_steal<py::dict>(value.release());
}

}  // namespace

py::int_ process_power_pins(py::handle engine, py::handle flow_table_directory, py::handle flow_table_info,
                            py::handle flow_table_index) {
    const py::object suite = flow_table_info[py::str("Parameter")];
    if (!known_test_suite(engine, suite)) return py::int_(0);

    py::dict clamps_of_suite;
    state(engine).power_pin_clamp_dict()[suite] = clamps_of_suite;

    const py::object instances = state(engine).test_instance_dict()[suite];
    py::object row = py::reinterpret_borrow<py::object>(flow_table_index) + py::int_(1);
    for (py::handle instance : instances) {
        const py::object dc_category = instance[py::str("DC Category")];
        if (!is_empty_text(dc_category)) {
            const py::object sheet_name = instance[py::str("PinLevel")];
            const py::object category = category_in_context(engine, dc_category);
            const py::object selector = instance[py::str("DC Selector")];

            const py::str sheet_path = path_join(flow_table_directory, concat(sheet_name, py::str(".txt")));
            const py::tuple read = read_once(CacheKey("pin levels").file(sheet_path), [&] {
                PinLevelSheet sheet;
                sheet.read(sheet_path);
                return py::object(py::make_tuple(sheet.levels(), sheet.clamps()));
            });
            const py::dict levels = as_dict(read[0], "the pin levels");
            const py::object clamps = read[1];

            const py::object power_order_path = state(engine).power_order_path();
            const PinOrder pins =
                is_empty_text(power_order_path) ? pins_in_sheet_order(levels) : pins_in_power_order(engine, levels);

            const py::object first_column = state(engine).print_inst_info_col_cnt();
            const py::object sheet = state(engine).work_sheet();
            for (auto pin : pins.levels) {
                const py::object display_name = pins.display_names[pin.first];
                const py::object clamp_text = clamps[pin.first];

                const py::object power_list = state(engine).power_list();
                py::object column;
                const bool listed = host::holds(power_list, display_name);
                if (listed) {
                    column = first_column + power_list.attr("index")(display_name);
                } else {
                    power_list.attr("append")(display_name);
                    column = first_column + py::int_(py::len(power_list) - 1);
                    write_text(sheet, py::int_(0), column, display_name);
                    sheet.attr("set_column")(column, column, 15);
                }

                const double level = rounded_value(engine, pin.second, category, selector);
                const py::object cell_format = level == 0.0 ? py::object(state(engine).format_orange()) : py::none();
                write_text(sheet, row, column, float_repr(level), cell_format);

                const double clamp = rounded_value(engine, clamp_text, category, selector);
                clamps_of_suite[pin.first] = py::float_(clamp);
            }
        }
        row = row + py::int_(1);
    }
    return py::int_(py::len(state(engine).power_list()));
}

void raise_max_dps_count(py::handle engine, py::handle count) {
    const py::object current = state(engine).MAX_DSP_CNT();
    const int less = host::check(PyObject_RichCompareBool(current.ptr(), count.ptr(), Py_LT));
    if (less) state(engine).MAX_DSP_CNT() = count;
}

}  // namespace tallowby::engine
