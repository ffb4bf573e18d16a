#include "sheets/test_instances.hpp"

#include <string_view>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

namespace {

// Rows are scanned for pattern file names over their first 144 fields on
// UltraFLEX platforms, over 93 elsewhere.
constexpr size_t kUltraFlexScanFields = 144;
constexpr size_t kOtherScanFields = 93;

// Field 14 holds the argument names, the values follow from field 15 on;
// fields 14 to 19 may name pattern sets.
constexpr size_t kArgNames = 14;
constexpr size_t kArgValues = 15;
constexpr size_t kLastSetField = 19;

py::str join(const char* separator, py::handle items) {
    return host::steal<py::str>(PyUnicode_Join(py::str(separator).ptr(), items.ptr()));
}

py::object item(py::handle container, py::handle key) {
    return host::steal(PyObject_GetItem(container.ptr(), key.ptr()));
}

py::object field_of(py::handle line_list, Py_ssize_t i) {
    if (PyList_CheckExact(line_list.ptr()) || PyTuple_CheckExact(line_list.ptr())) {
        return host::steal(PySequence_GetItem(line_list.ptr(), i));
    }
    return item(line_list, py::int_(i));
}

void append_to(py::handle target, const py::dict& record) {
    if (PyList_CheckExact(target.ptr())) {
        host::check(PyList_Append(target.ptr(), record.ptr()));
        return;
    }
    target.attr("append")(record);
}

// Number of pieces of str.split(",") of a text.
Py_ssize_t comma_pieces(const py::str& text) {
    const Py_ssize_t n = host::check(PyUnicode_Count(text.ptr(), py::str(",").ptr(), 0, PY_SSIZE_T_MAX));
    return n + 1;
}

template <typename Get>
py::dict make_record(Get&& field, py::handle pattern_info, py::object arg_details) {
    py::dict record;
    record["Method"] = field(3);
    record["DC Category"] = field(5);
    record["DC Selector"] = field(6);
    record["TimeSet"] = field(9);
    record["AC Category"] = field(7);
    record["AC Selector"] = field(8);
    record["PinLevel"] = field(11);
    record["Pattern"] = pattern_info;
    record["ArgList"] = field(kArgNames);
    record["ArgDetails"] = arg_details;
    return record;
}

py::dict record_of(const host::TabFields& fields, const py::str& pattern_info) {
    const size_t n = static_cast<size_t>(comma_pieces(fields.at(kArgNames)));
    const size_t end = std::min(fields.size(), kArgValues + n);
    py::list details;
    for (size_t i = kArgValues; i < end; ++i) details.append(fields.at(i));
    return make_record([&](size_t i) -> py::object { return fields.at(i); }, pattern_info, details);
}

// Whether `c` belongs to the class "[\S ]": anything but white space, or a blank.
inline bool in_name(Py_UCS4 c) { return c == ' ' || !host::is_space(c); }

}  // namespace

py::list find_pattern_names(const py::str& text, bool patx) {
    // A name starts right after a tab and runs over the characters of
    // "[\S ]"; of that run it takes the longest prefix of two or more
    // characters ending in the extension. The run never holds a tab, so the
    // next name can only start at a tab past the run.
    const std::string_view extension = patx ? ".patx" : ".pat";
    const Py_ssize_t ext = static_cast<Py_ssize_t>(extension.size());
    host::StrView v(text);
    const Py_ssize_t n = v.size();
    py::list names;
    for (Py_ssize_t tab = v.find('\t'); tab >= 0;) {
        const Py_ssize_t start = tab + 1;
        Py_ssize_t run_end = start;
        while (run_end < n && in_name(v[run_end])) ++run_end;
        for (Py_ssize_t end = run_end; end - ext > start; --end) {
            if (v.starts_with_ignorecase(end - ext, extension)) {
                names.append(host::substr(text, start, end));
                break;
            }
        }
        tab = v.find('\t', run_end);
    }
    return names;
}

void TestInstanceReader::read(const py::str& requested, py::handle pattern_sets, const py::str& platform) {
    const py::str path = retry_space_encoded(requested);
    const bool patx = host::equals(platform, "UltraFLEXplus");
    const size_t width = platform_has(platform, "UltraFLEX") ? kUltraFlexScanFields : kOtherScanFields;
    host::TextFile file(path);
    const Py_ssize_t set_count = host::size(pattern_sets);
    const bool by_sets = set_count != 0;

    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index <= 3) continue;
        host::TabFields fields(line);
        if (fields.empty_at(1)) break;  // end of data
        py::str name = host::upper(fields.at(1));
        PyObject* held = PyDict_GetItemWithError(instances_.ptr(), name.ptr());
        if (!held) {
            host::check_error();
            py::list fresh;
            host::check(PyDict_SetItem(instances_.ptr(), name.ptr(), fresh.ptr()));
            held = fresh.ptr();
        }
        py::object rows = py::reinterpret_borrow<py::object>(held);

        if (by_sets) {
            py::list pieces;
            for (size_t i = kArgNames; i <= kLastSetField; ++i) {
                py::str key = host::upper(fields.at(i));
                const bool found = host::holds(pattern_sets, key);
                if (found) pieces.append(join(",", item(pattern_sets, key)));
            }
            py::str pattern_info = join(",", pieces);
            if (PyUnicode_GET_LENGTH(pattern_info.ptr()) != 0) {
                append_to(rows, record_of(fields, pattern_info));
                continue;
            }
        }
        py::str pattern_info = join(",", find_pattern_names(fields.joined(0, width), patx));
        append_to(rows, record_of(fields, pattern_info));
    }
    file.close();
}

void TestInstanceReader::find_pat_path(py::handle pattern, py::handle line, py::handle line_list) {
    py::object findall = py::module_::import("re").attr("findall");
    py::str pattern_info = join(",", findall(pattern, line));
    py::object name = field_of(line_list, 1).attr("upper")();
    py::object rows = item(instances_, name);
    append_to(rows, instance_content(line_list, pattern_info));
}

py::dict TestInstanceReader::instance_content(py::handle line_list, py::handle pattern_info) {
    py::object names = field_of(line_list, kArgNames);
    const Py_ssize_t n = py::len(names.attr("split")(","));
    py::object end = py::int_(static_cast<Py_ssize_t>(kArgValues) + n);
    PyObject* range = host::check(PySlice_New(py::int_(kArgValues).ptr(), end.ptr(), nullptr));
    py::object details = item(line_list, py::reinterpret_steal<py::object>(range));
    return make_record([&](Py_ssize_t i) { return field_of(line_list, i); }, pattern_info, details);
}

}  // namespace tallowby::sheets
