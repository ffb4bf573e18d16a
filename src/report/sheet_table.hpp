// One sheet of a VBT workbook as a table: a header row, then one row per
// record, no index column, written through the table library's writer.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <vector>

namespace tallowby::report {
namespace py = pybind11;

// The table library (pandas), imported when first asked for.
py::module_ table_library();

class SheetTable {
public:
    explicit SheetTable(std::initializer_list<const char*> headers);

    // One row: a map from header to value, the values in header order.
    void add(std::initializer_list<py::handle> values);
    bool empty() const { return PyList_GET_SIZE(rows_.ptr()) == 0; }

    // DataFrame(rows).to_excel(writer, sheet_name=sheet_name, index=False).
    void write(py::handle writer, py::handle sheet_name) const;

    // Each column as wide as its longest cell text, header included, plus
    // two characters, at most 50.
    void fit_column_widths(py::handle writer, py::handle sheet_name) const;

private:
    std::vector<py::str> headers_;
    std::vector<Py_ssize_t> longest_;
    py::list rows_;
};

// The length of a cell's text as the workbook holds it: a text's characters,
// a number's digits; a missing value is written as an empty cell.
Py_ssize_t cell_text_length(py::handle value);

// The column letters of a 0-based column index: A ... Z, AA, ...
std::string column_letter(size_t index);

}  // namespace tallowby::report
