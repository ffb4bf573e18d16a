#include "sheets/pin_levels.hpp"

#include "host/checked.hpp"
#include "host/regex.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"

namespace tallowby::sheets {

py::str pin_level_value(const py::str& cell) {
    // "=?(\S+)" searched: the match starts at the first non-space character
    // ("=" is one). The "=" is dropped only when a non-space follows it;
    // otherwise the group is the "=" itself. The group runs greedily up to
    // the next white space.
    host::StrView v(cell);
    const Py_ssize_t n = v.size();
    Py_ssize_t start = 0;
    while (start < n && host::is_space(v[start])) ++start;
    if (start == n) return host::group_or_raise(py::none(), 1);
    if (v[start] == '=' && start + 1 < n && !host::is_space(v[start + 1])) ++start;
    Py_ssize_t end = start + 1;
    while (end < n && !host::is_space(v[end])) ++end;
    return host::upper(host::substr(cell, start, end));
}

void PinLevelReader::read(py::handle path) {
    host::TextFile file(path);
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index <= 2) continue;
        host::TabFields fields(line);
        if (fields.empty_at(1)) break;
        const py::str parameter = host::upper(fields.at(3));
        py::dict* target = nullptr;
        if (host::equals(parameter, "VMAIN") || host::equals(parameter, "VPS")) {
            target = &levels_;
        } else if (host::equals(parameter, "IFOLDLEVEL")) {
            target = &clamps_;
        } else {
            continue;
        }
        const py::str value = pin_level_value(fields.at(4));
        const py::str pin = host::upper(fields.at(1));
        host::check(PyDict_SetItem(target->ptr(), pin.ptr(), value.ptr()));
    }
    file.close();
}

}  // namespace tallowby::sheets
