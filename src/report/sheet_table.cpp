#include "report/sheet_table.hpp"

#include <algorithm>
#include <cmath>
#include <string>

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
    py::dict row;
    size_t i = 0;
    for (py::handle v : values) {
        if (PyDict_SetItem(row.ptr(), headers_[i].ptr(), v.ptr()) < 0) throw py::error_already_set();
        longest_[i] = std::max(longest_[i], cell_text_length(v));
        ++i;
    }
    if (PyList_Append(rows_.ptr(), row.ptr()) < 0) throw py::error_already_set();
}

namespace {

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

void SheetTable::write(py::handle writer, py::handle sheet_name) const {
    py::object frame = table_library().attr("DataFrame")(rows_);
    frame.attr("to_excel")(writer, py::arg("sheet_name") = sheet_name, py::arg("index") = false);
    // Texts read from modules and sheets stay texts in the workbook: a name
    // such as "=x" is stored as a string cell, never as a formula.
    py::object sheet;
    const Py_ssize_t rows = PyList_GET_SIZE(rows_.ptr());
    for (Py_ssize_t r = 0; r < rows; ++r) {
        py::handle row = PyList_GET_ITEM(rows_.ptr(), r);
        for (size_t c = 0; c < headers_.size(); ++c) {
            PyObject* value = PyDict_GetItemWithError(row.ptr(), headers_[c].ptr());
            if (!value) {
                if (PyErr_Occurred()) throw py::error_already_set();
                continue;
            }
            if (!PyUnicode_Check(value) || !taken_for_other_than_text(value)) continue;
            if (!sheet) sheet = writer.attr("sheets")[sheet_name];
            // the header is row 1, the records start at row 2 (1-based)
            sheet.attr("cell")(py::arg("row") = r + 2, py::arg("column") = c + 1).attr("data_type") = "s";
        }
    }
}

void SheetTable::fit_column_widths(py::handle writer, py::handle sheet_name) const {
    py::object sheet = writer.attr("sheets")[sheet_name];
    py::object dimensions = sheet.attr("column_dimensions");
    for (size_t i = 0; i < longest_.size(); ++i) {
        Py_ssize_t width = std::min<Py_ssize_t>(longest_[i] + 2, 50);
        dimensions[py::str(column_letter(i))].attr("width") = py::int_(width);
    }
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
        py::object number = py::reinterpret_steal<py::object>(PyNumber_Long(v));
        if (!number) throw py::error_already_set();
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
