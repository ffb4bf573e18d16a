#include "sheets/flow_table.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/console.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

namespace {

// Builds the record from the fields of one row. Values are taken in the
// order 6, 7, 9, hard bin, sort bin, result, so that a short row fails at the
// first field it lacks. Rows of 8 fields or fewer carry only opcode and
// parameter.
template <typename Size, typename Get>
py::dict build_record(bool ultraflex, Size&& size, Get&& field) {
    py::object opcode = field(6);
    py::object parameter = host::upper(field(7));
    py::object number, hard_bin, sort_bin, result;
    if (size() > 8) {
        number = field(9);
        hard_bin = field(ultraflex ? 16 : 11);
        sort_bin = field(ultraflex ? 18 : 13);
        result = field(ultraflex ? 19 : 14);
    } else {
        number = hard_bin = sort_bin = result = py::str("");
    }
    py::dict record;
    record["Opcode"] = opcode;
    record["Parameter"] = parameter;
    record["TestNumber"] = number;
    record["HardBin"] = hard_bin;
    record["SortBin"] = sort_bin;
    record["Result"] = result;
    return record;
}

// Off UltraFLEX a failure to build the record is shown on standard output
// before it goes on to the caller.
template <typename Size, typename Get>
py::dict make_record(bool ultraflex, Size&& size, Get&& field) {
    if (ultraflex) return build_record(true, size, field);
    try {
        return build_record(false, size, field);
    } catch (py::error_already_set& error) {
        if (error.matches(PyExc_Exception)) host::print_line(py::str(error.value()));
        throw;
    }
}

py::dict record_of(const host::TabFields& fields, bool ultraflex) {
    return make_record(
        ultraflex, [&] { return static_cast<Py_ssize_t>(fields.size()); },
        [&](size_t i) -> py::object { return fields.at(i); });
}

bool is_test_opcode(const host::TabFields& fields) {
    return fields.equals_at(6, "Test") || fields.equals_at(6, "Test-defer-limits") || fields.equals_at(6, "nop") ||
           fields.equals_at(6, "Test-defer-all");
}

// One sheet being read: its lines, the next line to visit and its identity,
// so that a call back into a sheet still being read is caught.
struct OpenSheet {
    std::unique_ptr<host::TextFile> file;
    py::list lines;
    Py_ssize_t next = 0;
    py::str path;
    bool has_id = false;
    dev_t device = 0;
    ino_t inode = 0;
};

void identify(OpenSheet& sheet) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(sheet.path.ptr(), &encoded)) {
        PyErr_Clear();
        return;
    }
    py::object holder = py::reinterpret_steal<py::object>(encoded);
    struct stat st;
    if (::stat(PyBytes_AS_STRING(encoded), &st) != 0) return;
    sheet.has_id = true;
    sheet.device = st.st_dev;
    sheet.inode = st.st_ino;
}

bool same_sheet(const OpenSheet& a, const OpenSheet& b) {
    if (a.has_id && b.has_id) return a.device == b.device && a.inode == b.inode;
    return PyUnicode_Compare(a.path.ptr(), b.path.ptr()) == 0;
}

Py_ssize_t last_slash(const py::str& path) {
    const Py_ssize_t at = PyUnicode_FindChar(path.ptr(), '/', 0, PyUnicode_GET_LENGTH(path.ptr()), -1);
    if (at == -2) host::raise_error();
    return at;
}

py::str file_name(const py::str& path) {
    const Py_ssize_t at = last_slash(path);
    return at < 0 ? path : host::substr(path, at + 1, PyUnicode_GET_LENGTH(path.ptr()));
}

[[noreturn]] void raise_cycle(const std::vector<OpenSheet>& stack, const OpenSheet& again) {
    py::list names;
    for (const auto& sheet : stack) names.append(file_name(sheet.path));
    names.append(file_name(again.path));
    PyObject* chain = host::check(PyUnicode_Join(py::str(" -> ").ptr(), names.ptr()));
    py::str message = py::str("flow table calls itself: ") + py::reinterpret_steal<py::str>(chain);
    PyErr_SetObject(PyExc_RecursionError, message.ptr());
    host::raise_error();
}

void open_sheet(std::vector<OpenSheet>& stack, const py::str& requested) {
    OpenSheet sheet;
    sheet.path = retry_space_encoded(requested);
    sheet.file = std::make_unique<host::TextFile>(sheet.path);
    sheet.lines = sheet.file->readlines();
    identify(sheet);
    for (const auto& open : stack)
        if (same_sheet(open, sheet)) raise_cycle(stack, sheet);
    stack.push_back(std::move(sheet));
}

// The sheet a call row names: beside the calling sheet, named after field 7
// as written, with ".txt".
py::str sub_flow_path(const py::str& caller, const py::str& name) {
    const Py_ssize_t at = last_slash(caller);
    py::str file = name + py::str(".txt");
    if (at < 0) return file;
    return host::substr(caller, 0, at + 1) + file;
}

// Values of records built from sheet lines are always texts.
py::handle value(const py::dict& record, const char* key) { return PyDict_GetItemString(record.ptr(), key); }
bool is_empty(const py::dict& record, const char* key) { return PyUnicode_GET_LENGTH(value(record, key).ptr()) == 0; }

// A job sheet holds at most this many rows, and a read that would expand
// to more flow rows, or call more sub-flows, fails before it starts.
constexpr Py_ssize_t max_expanded = 1 << 20;

// Whether a record can be built from the row: fields 6 and 7, and with more
// than 8 fields also the test number, bins and result.
bool record_fits(const host::TabFields& fields, bool ultraflex) {
    const size_t n = fields.size();
    return n > 7 && (n <= 8 || n > (ultraflex ? 19u : 14u));
}

// Whether the record of a row that fits lacks a bin.
bool bins_missing(const host::TabFields& fields, bool ultraflex) {
    if (fields.size() <= 8) return true;
    return fields.empty_at(ultraflex ? 16 : 11) || fields.empty_at(ultraflex ? 18 : 13);
}

// Counts above the bound are all the same: they stop at one more than it.
Py_ssize_t capped_sum(Py_ssize_t a, Py_ssize_t b) { return std::min(a + b, max_expanded + 1); }

// A sheet being counted: its path, lines, next line, and the rows and calls
// it has come to so far, its sub-flows included.
struct CountedSheet {
    OpenSheet sheet;
    Py_ssize_t rows = 0;
    Py_ssize_t calls = 0;
};

enum class Expansion { within_limit, too_many_rows, too_many_calls, read_fails };

// How far a read of `path` would expand: each sheet is read and counted
// once, its rows and calls remembered, so that the count is quick however
// often sub-flows are called. A sheet that the read itself would fail on (a
// missing file, a short row, a cycle) ends the count: the read then fails at
// that point as it always does, unless the rows before it are already too
// many. Nothing is printed.
Expansion count_expansion(const py::str& path, bool ultraflex) {
    py::dict done;  // sheet path -> (rows, calls)
    std::vector<CountedSheet> stack;
    Py_ssize_t total_rows = 0, total_calls = 0;  // in reading order, up to the sheet and row at hand
    auto verdict = [&](bool fails) {
        if (total_rows > max_expanded) return Expansion::too_many_rows;
        if (total_calls > max_expanded) return Expansion::too_many_calls;
        return fails ? Expansion::read_fails : Expansion::within_limit;
    };
    // Opens a sheet to count, or adds the counts of one already counted;
    // false when the sheet is one still being counted (a cycle).
    auto open = [&](const py::str& requested) -> bool {
        CountedSheet counted;
        counted.sheet.path = retry_space_encoded(requested);
        if (PyObject* known = PyDict_GetItemWithError(done.ptr(), counted.sheet.path.ptr())) {
            const Py_ssize_t rows = PyLong_AsSsize_t(PyTuple_GET_ITEM(known, 0));
            const Py_ssize_t calls = PyLong_AsSsize_t(PyTuple_GET_ITEM(known, 1));
            total_rows = capped_sum(total_rows, rows);
            total_calls = capped_sum(total_calls, calls);
            stack.back().rows = capped_sum(stack.back().rows, rows);
            stack.back().calls = capped_sum(stack.back().calls, calls);
            return true;
        }
        host::check_error();
        {
            host::TextFile file(counted.sheet.path);
            counted.sheet.lines = file.readlines();
            file.close();
        }
        identify(counted.sheet);
        for (const auto& s : stack)
            if (same_sheet(s.sheet, counted.sheet)) return false;
        stack.push_back(std::move(counted));
        return true;
    };
    try {
        if (!open(path)) return verdict(true);
        while (!stack.empty()) {
            CountedSheet& counted = stack.back();
            const Py_ssize_t count = PyList_GET_SIZE(counted.sheet.lines.ptr());
            const Py_ssize_t i = counted.sheet.next++;
            bool finished = i >= count;
            if (!finished && i > 3) {
                host::TabFields fields(PyList_GET_ITEM(counted.sheet.lines.ptr(), i));
                if (fields.empty_at(6)) {
                    finished = true;
                } else if (is_test_opcode(fields)) {
                    if (!fields.empty_at(5) || fields.empty_at(7)) continue;
                    if (!record_fits(fields, ultraflex)) return verdict(true);
                    if (bins_missing(fields, ultraflex)) {
                        if (i + 1 >= count) return verdict(true);
                        host::TabFields below(PyList_GET_ITEM(counted.sheet.lines.ptr(), i + 1));
                        if (!record_fits(below, ultraflex)) return verdict(true);
                    }
                    counted.rows = capped_sum(counted.rows, 1);
                    total_rows = capped_sum(total_rows, 1);
                } else if (fields.equals_at(6, "call") && fields.empty_at(5)) {
                    counted.calls = capped_sum(counted.calls, 1);
                    total_calls = capped_sum(total_calls, 1);
                    if (!open(sub_flow_path(counted.sheet.path, fields.at(7)))) return verdict(true);
                    // `counted` is not used past this point
                }
            }
            if (finished) {
                CountedSheet ended = std::move(stack.back());
                stack.pop_back();
                if (PyDict_SetItem(done.ptr(), ended.sheet.path.ptr(),
                                   py::make_tuple(ended.rows, ended.calls).ptr()) < 0)
                    host::raise_error();
                if (!stack.empty()) {
                    stack.back().rows = capped_sum(stack.back().rows, ended.rows);
                    stack.back().calls = capped_sum(stack.back().calls, ended.calls);
                }
            }
        }
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        return verdict(true);
    }
    return verdict(false);
}

}  // namespace

py::dict flow_content(py::handle line_list, py::handle platform) {
    py::str marker("UltraFLEX");
    const bool ultraflex = host::holds(platform, marker);
    return make_record(
        ultraflex == 1,
        [&] {
            const Py_ssize_t n = host::size(line_list);
            return n;
        },
        [&](Py_ssize_t i) {
            PyObject* item = PyList_CheckExact(line_list.ptr()) ? PySequence_GetItem(line_list.ptr(), i)
                                                                 : PyObject_GetItem(line_list.ptr(), py::int_(i).ptr());
            host::check(item);
            return py::reinterpret_steal<py::object>(item);
        });
}

void FlowTableReader::read(const py::str& path, const py::str& platform) {
    const bool ultraflex = platform_has(platform, "UltraFLEX");
    const Expansion expansion = count_expansion(path, ultraflex);
    if (expansion == Expansion::too_many_rows || expansion == Expansion::too_many_calls) {
        host::raise_format(PyExc_ValueError,
                           expansion == Expansion::too_many_rows
                               ? "flow table %U expands to more than %zd rows, more than a job sheet holds"
                               : "flow table %U calls more than %zd sub-flows",
                           file_name(path).ptr(), max_expanded);
    }
    std::vector<OpenSheet> stack;
    open_sheet(stack, path);
    while (!stack.empty()) {
        OpenSheet& sheet = stack.back();
        const Py_ssize_t count = PyList_GET_SIZE(sheet.lines.ptr());
        const Py_ssize_t i = sheet.next++;
        if (i >= count) {
            sheet.file->close();
            stack.pop_back();
            continue;
        }
        if (i <= 3) continue;
        py::handle line = PyList_GET_ITEM(sheet.lines.ptr(), i);
        host::TabFields fields(line);
        if (fields.empty_at(6)) {  // end of data
            sheet.file->close();
            stack.pop_back();
            continue;
        }
        if (is_test_opcode(fields)) {
            if (!fields.empty_at(5) || fields.empty_at(7)) continue;
            py::dict record = record_of(fields, ultraflex);
            if (is_empty(record, "HardBin") || is_empty(record, "SortBin")) {
                // The bins may stand on a Use-Limit row right below.
                if (i + 1 >= count) host::raise_index_error();
                host::TabFields below_fields(PyList_GET_ITEM(sheet.lines.ptr(), i + 1));
                py::dict below = record_of(below_fields, ultraflex);
                if (host::equals(value(below, "Opcode"), "Use-Limit") && !is_empty(below, "HardBin") &&
                    !is_empty(below, "SortBin")) {
                    for (const char* key : {"HardBin", "SortBin", "TestNumber"}) record[key] = value(below, key);
                } else {
                    host::print_line(py::str("No SortBin test found: ") + py::reinterpret_borrow<py::str>(line));
                }
            }
            test_suites_.append(record);
        } else if (fields.equals_at(6, "call") && fields.empty_at(5)) {
            py::str sub = sub_flow_path(sheet.path, fields.at(7));
            open_sheet(stack, sub);  // `sheet` is not used past this point
        }
    }
}

}  // namespace tallowby::sheets
