#include "sheets/timing_sheet.hpp"

#include "host/checked.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

namespace {

enum class Layout { UltraFlex, J750, None };

// First line index of the data rows.
size_t first_data_line(Layout layout) { return layout == Layout::UltraFlex ? 7 : 6; }

// From line 7 on a blank line ends the sheet; a bare line end ends it anywhere.
bool ends_sheet(size_t index, const py::str& line) {
    if (host::equals(line, "\n")) return true;
    return index >= 7 && host::is_blank(line);
}

using host::concat;

void set_item(const py::handle& map, const py::handle& key, const py::handle& value) {
    host::check(PyObject_SetItem(map.ptr(), key.ptr(), value.ptr()));
}

}  // namespace

void TimingSheetReader::read(const py::str& path, const py::str& platform) {
    const Layout layout = platform_has(platform, "UltraFLEX") ? Layout::UltraFlex
                          : platform_has(platform, "J750")    ? Layout::J750
                                                              : Layout::None;
    // Kept for the process: a static host object must not be released after
    // the interpreter has finished.
    static PyObject* const slash = PyUnicode_InternFromString("/");
    host::TextFile file(path);
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (ends_sheet(index, line)) break;
        if (layout == Layout::None || index < first_data_line(layout)) continue;
        host::TabFields fields(line);

        const py::str tset = host::upper(fields.at(1));
        PyObject* found = PyDict_GetItemWithError(clocks_.ptr(), tset.ptr());
        if (!found) host::check_error();
        // The inner map is whatever the clock map holds under the time set.
        py::object tset_clocks = found ? py::reinterpret_borrow<py::object>(found) : py::dict();
        if (!found) set_item(clocks_, tset, tset_clocks);

        const py::str period = host::replace(fields.at(2), "=", "");
        const int known = host::check(PyDict_Contains(periods_.ptr(), tset.ptr()));
        if (!known) set_item(periods_, tset, host::upper(period));

        if (layout == Layout::UltraFlex) {
            if (!fields.equals_at(5, "clock")) continue;
            const py::str text = host::upper(host::replace(fields.at(4), "=", ""));
            set_item(tset_clocks, fields.at(3), text);
        } else {
            if (!fields.equals_at(5, "mcg")) continue;
            const py::str name = fields.at(4);
            set_item(tset_clocks, name, concat(concat(host::upper(period), py::handle(slash)), name));
        }
    }
    file.close();
}

}  // namespace tallowby::sheets
