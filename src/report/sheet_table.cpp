#include "report/sheet_table.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "host/checked.hpp"
#include "host/objects.hpp"

namespace tallowby::report {

py::module_ table_library() {
    static PyObject* pandas = py::module_::import("pandas").release().ptr();
    return py::reinterpret_borrow<py::module_>(pandas);
}

SheetTable::SheetTable(std::initializer_list<const char*> headers) {
    for (const char* h : headers) {
        headers_.emplace_back(h);
        longest_.push_back(PyUnicode_GET_LENGTH(headers_.back().ptr()));
    }
}

void SheetTable::add(std::initializer_list<py::handle> values) {
    PyObject* row = host::check(PyList_New(static_cast<Py_ssize_t>(values.size())));
    py::object owner = py::reinterpret_steal<py::object>(row);
    Py_ssize_t i = 0;
    for (py::handle v : values) {
        longest_[i] = std::max(longest_[i], cell_text_length(v));
        PyList_SET_ITEM(row, i++, py::handle(v).inc_ref().ptr());
    }
    host::check(PyList_Append(rows_.ptr(), row));
}

namespace {

// The XlsxWriter workbook behind a pandas writer, or None for a writer of
// another engine.
py::object xlsxwriter_book(py::handle writer) {
    static PyObject* workbook_type =
        py::object(py::module_::import("xlsxwriter.workbook").attr("Workbook")).release().ptr();
    py::object book = writer.attr("book");
    const int is_xlsxwriter = host::check(PyObject_IsInstance(book.ptr(), workbook_type));
    return is_xlsxwriter ? book : py::none();
}

// Calls `method` with positional `args`; its result is dropped.
void call_discarding(PyObject* method, std::initializer_list<PyObject*> args) {
    PyObject* result = host::check(PyObject_Vectorcall(method, args.begin(), args.size(), nullptr));
    Py_DECREF(result);
}

// The format pandas gives a header cell: bold, a thin border all round,
// centred, at the top.
py::object header_format(py::handle book) {
    py::dict style;
    style["bold"] = true;
    for (const char* side : {"top", "right", "bottom", "left"}) style[side] = 1;
    style["align"] = "center";
    style["valign"] = "top";
    return book.attr("add_format")(style);
}

// The writer methods of one XlsxWriter sheet, looked up once per table.
struct SheetCalls {
    py::object write_string, write_number, write_boolean;
    explicit SheetCalls(py::handle sheet)
        : write_string(sheet.attr("write_string")),
          write_number(sheet.attr("write_number")),
          write_boolean(sheet.attr("write_boolean")) {}

    // One cell as pandas writes a value of that type: nothing for a missing
    // value or an empty text, inf as its text, any other object that is no
    // number as its text.
    void write(PyObject* row, PyObject* column, PyObject* value) const {
        if (value == Py_None) return;
        if (PyUnicode_Check(value)) {
            if (PyUnicode_GET_LENGTH(value) == 0) return;
            return call_discarding(write_string.ptr(), {row, column, value});
        }
        if (PyBool_Check(value)) return call_discarding(write_boolean.ptr(), {row, column, value});
        if (PyFloat_Check(value)) {
            const double d = PyFloat_AS_DOUBLE(value);
            if (std::isnan(d)) return;
            if (std::isinf(d)) {
                py::str text(d > 0 ? "inf" : "-inf");
                return call_discarding(write_string.ptr(), {row, column, text.ptr()});
            }
            return call_discarding(write_number.ptr(), {row, column, value});
        }
        if (PyLong_Check(value)) return call_discarding(write_number.ptr(), {row, column, value});
        PyObject* text = host::check(PyObject_Str(value));
        py::object owner = py::reinterpret_steal<py::object>(text);
        call_discarding(write_string.ptr(), {row, column, text});
    }
};

// Whether the workbook library would store `text` as something other than a
// string: a formula ("=..." of two characters or more) or an error value.
bool taken_for_other_than_text(py::handle text) {
    static const char* const error_values[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text.ptr());
    if (n == 0) return false;
    const Py_UCS4 first = PyUnicode_READ_CHAR(text.ptr(), 0);
    if (first == '=') return n > 1;
    if (first != '#') return false;
    for (const char* e : error_values)
        if (PyUnicode_CompareWithASCIIString(text.ptr(), e) == 0) return true;
    return false;
}

}  // namespace

py::object open_table_writer(py::handle path) {
    py::dict options;
    options["strings_to_formulas"] = false;
    options["strings_to_urls"] = false;
    py::dict engine_kwargs;
    engine_kwargs["options"] = options;
    return table_library().attr("ExcelWriter")(path, py::arg("engine") = "xlsxwriter",
                                               py::arg("engine_kwargs") = engine_kwargs);
}

Py_ssize_t sheet_count(py::handle writer) { return host::size(writer.attr("sheets")); }

void SheetTable::write(py::handle writer, py::handle sheet_name) const {
    py::object book = xlsxwriter_book(writer);
    if (!book.is_none()) return write_cells(book, sheet_name);
    py::list columns;
    for (const py::str& h : headers_) columns.append(h);
    py::object frame = table_library().attr("DataFrame")(rows_, py::arg("columns") = columns);
    frame.attr("to_excel")(writer, py::arg("sheet_name") = sheet_name, py::arg("index") = false);
    // Texts read from modules and sheets stay texts in the workbook: a name
    // such as "=x" is stored as a string cell, never as a formula.
    py::object sheet;
    const Py_ssize_t rows = PyList_GET_SIZE(rows_.ptr());
    for (Py_ssize_t r = 0; r < rows; ++r) {
        PyObject* row = PyList_GET_ITEM(rows_.ptr(), r);
        for (size_t c = 0; c < headers_.size(); ++c) {
            PyObject* value = PyList_GET_ITEM(row, c);
            if (!PyUnicode_Check(value) || !taken_for_other_than_text(value)) continue;
            if (!sheet) sheet = writer.attr("sheets")[sheet_name];
            // the header is row 1, the records start at row 2 (1-based)
            sheet.attr("cell")(py::arg("row") = r + 2, py::arg("column") = c + 1).attr("data_type") = "s";
        }
    }
}

void SheetTable::write_cells(py::handle book, py::handle sheet_name) const {
    py::object sheet = book.attr("get_worksheet_by_name")(sheet_name);
    if (sheet.is_none()) sheet = book.attr("add_worksheet")(sheet_name);
    const SheetCalls calls(sheet);
    std::vector<py::int_> columns;
    for (size_t c = 0; c < headers_.size(); ++c) columns.emplace_back(c);
    py::object header = header_format(book);
    py::int_ top(0);
    for (size_t c = 0; c < headers_.size(); ++c)
        call_discarding(calls.write_string.ptr(), {top.ptr(), columns[c].ptr(), headers_[c].ptr(), header.ptr()});
    const Py_ssize_t rows = PyList_GET_SIZE(rows_.ptr());
    for (Py_ssize_t r = 0; r < rows; ++r) {
        PyObject* row = PyList_GET_ITEM(rows_.ptr(), r);
        py::int_ index(r + 1);
        for (size_t c = 0; c < headers_.size(); ++c)
            calls.write(index.ptr(), columns[c].ptr(), PyList_GET_ITEM(row, c));
    }
}

void SheetTable::fit_column_widths(py::handle writer, py::handle sheet_name) const {
    py::object sheet = writer.attr("sheets")[sheet_name];
    if (!xlsxwriter_book(writer).is_none()) {
        // XlsxWriter counts widths in pixels of seven to a character (plus
        // its padding, which set_column would add): 7 * w pixels is stored
        // as exactly w characters.
        py::object set_width = sheet.attr("set_column_pixels");
        for (size_t i = 0; i < longest_.size(); ++i)
            set_width(i, i, 7 * column_width(i));
        return;
    }
    py::object dimensions = sheet.attr("column_dimensions");
    for (size_t i = 0; i < longest_.size(); ++i)
        dimensions[py::str(column_letter(i))].attr("width") = py::int_(column_width(i));
}

Py_ssize_t cell_text_length(py::handle value) {
    PyObject* v = value.ptr();
    if (PyUnicode_Check(v)) {
        // A str subclass is written as str(value).
        if (PyUnicode_CheckExact(v)) return PyUnicode_GET_LENGTH(v);
        return PyUnicode_GET_LENGTH(py::str(value).ptr());
    }
    if (v == Py_None) return 0;
    if (PyFloat_Check(v)) {
        double d = PyFloat_AsDouble(v);
        if (std::isnan(d)) return 0;
        return PyUnicode_GET_LENGTH(py::str(py::float_(d)).ptr());
    }
    if (PyLong_Check(v) && !PyBool_Check(v)) {
        py::object number = host::steal(PyNumber_Long(v));
        return PyUnicode_GET_LENGTH(py::str(number).ptr());
    }
    return PyUnicode_GET_LENGTH(py::str(value).ptr());
}

std::string column_letter(size_t index) {
    std::string letters;
    for (size_t n = index + 1; n > 0; n = (n - 1) / 26) letters.insert(letters.begin(), char('A' + (n - 1) % 26));
    return letters;
}

}  // namespace tallowby::report
