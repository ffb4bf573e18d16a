#include "engine/job_sheet.hpp"

#include "engine/arithmetic.hpp"
#include "engine/engine.hpp"
#include "engine/spec_expression.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/console.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

py::str path_join(py::handle folder, py::handle name) {
    static PyObject* join = py::object(py::module_::import("os").attr("path").attr("join")).release().ptr();
    return py::reinterpret_borrow<py::object>(join)(folder, name);
}

void write_text(py::handle sheet, py::handle row, py::handle col, py::handle text, py::handle cell_format) {
    if (is_empty_text(text)) {
        sheet.attr("write_blank")(row, col, py::none(), cell_format);
    } else {
        sheet.attr("write_string")(row, col, text, cell_format);
    }
}

void write_cell(py::handle sheet, py::handle row, py::handle col, py::handle value, py::handle cell_format) {
    if (PyUnicode_Check(value.ptr())) {
        write_text(sheet, row, col, value, cell_format);
    } else if (PyLong_CheckExact(value.ptr()) || PyFloat_CheckExact(value.ptr())) {
        // what write() would do with a plain number, without its type tests
        sheet.attr("write_number")(row, col, value, cell_format);
    } else if (cell_format.is_none()) {
        sheet.attr("write")(row, col, value);
    } else {
        sheet.attr("write")(row, col, value, cell_format);
    }
}

void log_and_print(py::handle engine, const py::str& line) {
    put_log(engine, line);
    host::print_line(line);
}

bool is_empty_text(py::handle value) {
    return PyUnicode_Check(value.ptr()) && PyUnicode_GET_LENGTH(value.ptr()) == 0;
}

bool known_test_suite(py::handle engine, py::handle suite) {
    const bool found = host::holds(py::object(state(engine).test_instance_dict()), suite);
    if (found) return true;
    log_and_print(engine, concat(concat(py::str("Info: cannot found "), suite), py::str(" in Test Instance, please check.")));
    return false;
}

py::object category_in_context(py::handle engine, py::handle category) {
    const py::object starts = category.attr("startswith")("::");
    if (!starts.cast<bool>()) return py::reinterpret_borrow<py::object>(category);
    const py::object context = state(engine).context_env();
    if (is_empty_text(context))
        return py::reinterpret_borrow<py::object>(category);
    return concat(context, category);
}

py::str resolve_through_engine(py::handle engine, py::handle text, py::handle spec_dict, py::handle category,
                               py::handle selector) {
    static const host::OwnOperation spec_step("_Marlet__spec_calculation", marlet_class);
    py::object resolved = spec_step(
        engine, [&] { return resolve_spec_variables(engine, text, spec_dict, category, selector); }, text, spec_dict,
        category, selector);
    if (!PyUnicode_Check(resolved.ptr())) {
        host::raise_format(PyExc_TypeError, "a resolved spec expression must be text, not %.200s",
                           Py_TYPE(resolved.ptr())->tp_name);
    }
    return py::reinterpret_steal<py::str>(resolved.release());
}

py::object evaluate_resolved(py::handle resolved_text) {
    return evaluate_arithmetic(engine_global("format_str")(resolved_text));
}

}  // namespace tallowby::engine
