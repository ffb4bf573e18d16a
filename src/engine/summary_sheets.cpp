// The four summary sheets of the check workbook: patterns with their time
// sets, sort bins, test instance parameters and power pin clamps.
#include <string>

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/lead_operations.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"

namespace tallowby::engine {

namespace {

py::str numbered(const char* prefix, Py_ssize_t i) { return py::str(prefix + std::to_string(i)); }

// write(row, col, value) of a summary sheet, texts always as text cells.
struct CellWriter {
    py::handle sheet;
    void operator()(Py_ssize_t row, Py_ssize_t col, py::handle value) const {
        write_cell(sheet, py::int_(row), py::int_(col), value);
    }
    void operator()(Py_ssize_t row, Py_ssize_t col, const char* text) const { (*this)(row, col, py::str(text)); }
};

py::dict rule(const char* type, py::handle format) {
    py::dict options;
    options["type"] = type;
    options["format"] = format;
    return options;
}

}  // namespace

void write_pat_tset_map(py::handle self, py::handle pat2inst_dict, py::handle my_dict, py::handle worksheet) {
    const CellWriter write{worksheet};
    const bool period = host::equal(py::object(state(self).cycle_mode()), py::str("Period"));
    const char* value_label = period ? "Period_" : "Frequency_";
    write(0, 0, "Instances");
    write(0, 1, "Pattern");
    write(0, 2, "Tset_0");
    write(0, 3, numbered(value_label, 0));
    const Py_ssize_t patterns = host::size(my_dict);
    Py_ssize_t r = 1, written = 0;
    py::str comma(",");
    for (py::handle item : py::iter(my_dict.attr("items")())) {
        py::object pattern = item[py::int_(0)];
        py::object tsets = item[py::int_(1)];
        write(r, 0, comma.attr("join")(pat2inst_dict[pattern]));
        write(r, 1, pattern);
        const Py_ssize_t count = host::size(tsets);
        if (count >= 2) {
            for (Py_ssize_t i = 0; i < count; ++i) {
                write(0, 2 * i + 2, numbered("Tset_", i));
                write(0, 2 * i + 3, numbered(value_label, i));
            }
        }
        Py_ssize_t column = 2;
        for (py::handle entry : py::iter(tsets.attr("items")())) {
            write(r, column, entry[py::int_(0)]);
            write(r, column + 1, entry[py::int_(1)]);
            column += 2;
        }
        ++r;
        ++written;
        progress(self, py::float_(90 + static_cast<double>(10 * written) / static_cast<double>(patterns)));
    }
}

void write_bin_descrp(py::handle self, py::handle worksheet) {
    py::object bins = state(self).sort_bin_dscrp();
    const CellWriter write{worksheet};
    Py_ssize_t i = 0;
    for (py::handle pair : py::iter(bins)) {
        write(i, 0, pair[py::int_(0)]);
        write(i, 1, pair[py::int_(1)]);
        ++i;
    }
    if (i > 0) worksheet.attr("conditional_format")(0, 0, i - 1, 0, rule("duplicate", state(self).format_red()));
}

void write_inst_para(py::handle self, py::handle worksheet) {
    const CellWriter write{worksheet};
    py::object red = state(self).format_red();
    py::str details_key("ArgDetails");
    Py_ssize_t w = 0;
    for (py::handle item : py::iter(state(self).test_instance_dict().attr("items")())) {
        py::object name = item[py::int_(0)];
        py::object rows = item[py::int_(1)];
        if (w == 0) {
            write(0, 0, "Comment");
            write(0, 1, "Test Instance");
            Py_ssize_t j = 2;
            for (py::handle key : py::iter(rows[py::int_(0)])) write(0, j++, key);
            w = 1;
        }
        write(w, 1, name);
        for (py::handle row : py::iter(rows)) {
            Py_ssize_t j = 0;
            for (py::handle entry : py::iter(row.attr("items")())) {
                py::object key = entry[py::int_(0)];
                py::object value = entry[py::int_(1)];
                const bool is_details = host::equal(key, details_key);
                if (is_details) {
                    Py_ssize_t t = 0;
                    for (py::handle detail : py::iter(value)) write(w, j + 2 + t++, detail);
                    // An instance without arguments has no detail cells to mark.
                    if (t > 0) worksheet.attr("conditional_format")(w, j + 2, w, j + 1 + t, rule("blanks", red));
                } else {
                    write(w, j + 2, value);
                }
                ++j;
            }
        }
        ++w;
    }
    self.attr("excel_file_optimise")(worksheet);
}

void write_power_pin_clamp(py::handle self, py::handle worksheet) {
    // Pins as columns in order of first occurrence; as rows the instances
    // with at least one clamp, column by column in map order.
    py::object clamps = state(self).power_pin_clamp_dict();
    py::dict columns, rows, with_clamps;  // dicts as ordered sets
    py::list instances;
    for (py::handle item : py::iter(clamps.attr("items")())) {
        py::object pins = item[py::int_(1)];
        if (host::size(pins) == 0) continue;
        with_clamps[item[py::int_(0)]] = pins;
        for (py::handle pin : py::iter(pins)) columns[pin] = py::none();
    }
    for (auto column : columns) {
        py::handle pin = column.first;
        for (auto item : with_clamps) {
            const bool has = host::holds(item.second, pin);
            if (has) rows[item.first] = py::none();
        }
    }
    py::object table = engine_global("pd").attr("DataFrame").attr("from_dict")(with_clamps, py::arg("orient") = "index");
    table = table.attr("reindex")(py::arg("index") = py::list(rows), py::arg("columns") = py::list(columns));
    const CellWriter write{worksheet};
    write(0, 0, "Test Instance");
    Py_ssize_t j = 1;
    for (py::handle label : py::iter(table.attr("columns"))) write(0, j++, label);
    Py_ssize_t i = 1;
    for (py::handle label : py::iter(table.attr("index"))) write(i++, 0, label);
    i = 1;
    for (py::handle values : py::iter(table.attr("values"))) {
        j = 1;
        for (py::handle v : py::iter(values)) write(i, j++, v);
        ++i;
    }
    self.attr("excel_file_optimise")(worksheet, "B2");
}

}  // namespace tallowby::engine
