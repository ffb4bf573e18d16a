// The first six columns of a job sheet (the flow rows, one sheet row per test
// instance) and the finishing step of the engine's sheets.
#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/lead_operations.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"

namespace tallowby::engine {

void init_job_sheet(py::handle self) {
    py::object sheet = state(self).work_sheet();
    const char* const headers[] = {"Opcode", "Parameter", "TestNumber", "HardBinNumber", "SortBinNumber", "Result"};
    int column = 0;
    for (const char* h : headers) write_cell(sheet, py::int_(0), py::int_(column++), py::str(h));
    sheet.attr("set_column")(1, 1, 20);
    sheet.attr("set_column")(2, 5, 15);
    state(self).write_row_index() = py::int_(0);
}

void test_table_process(py::handle self, py::handle flow_table_index, py::handle flow_table_info) {
    py::object name = flow_table_info[py::str("Parameter")];
    py::object instances = state(self).test_instance_dict();
    const bool known = host::holds(instances, name);
    if (!known) return;
    py::object sheet = state(self).work_sheet();
    py::object row = py::reinterpret_borrow<py::object>(flow_table_index) + py::int_(1);
    const char* const keys[] = {"Opcode", "Parameter", "TestNumber", "HardBin", "SortBin"};
    for (py::handle entry : py::iter(instances[name])) {
        (void)entry;  // every instance row repeats the flow row's values
        int column = 0;
        for (const char* key : keys)
            write_cell(sheet, row, py::int_(column++), py::object(flow_table_info[py::str(key)]));
        if (equal(flow_table_info[py::str("Opcode")], py::str("nop"))) {
            sheet.attr("set_row")(row, py::none(), state(self).format_red());
        }
        py::object result = flow_table_info[py::str("Result")];
        if (equal(result, py::str("None")) || equal(result, py::str(""))) {
            write_cell(sheet, row, py::int_(5), result, state(self).format_yellow());
        } else {
            write_cell(sheet, row, py::int_(5), result);
        }
        row = row + py::int_(1);
    }
}

void excel_file_optimise(py::handle self, py::handle worksheet, py::handle freeze_pane) {
    worksheet.attr("autofilter")(0, 0, 0, 100);
    worksheet.attr("freeze_panes")(freeze_pane);
    worksheet.attr("set_row")(0, 20, state(self).format_bold());
}

}  // namespace tallowby::engine
