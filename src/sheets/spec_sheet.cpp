#include "sheets/spec_sheet.hpp"

#include <vector>

#include "host/checked.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

namespace {

void set_item(const py::dict& map, const py::object& key, const py::object& value) {
    host::check(PyDict_SetItem(map.ptr(), key.ptr(), value.ptr()));
}

// The header keys of one sheet: category line forward-filled, selector line
// joined on with one blank.
class KeyList {
public:
    void add_categories(const host::TabFields& cells) {
        keys_.reserve(cells.size());
        for (size_t j = 0; j < cells.size(); ++j) {
            // An empty cell takes the (already filled) cell on its left.
            if (j != 0 && cells.empty_at(j)) {
                keys_.push_back(keys_.back());
            } else {
                keys_.push_back(cells.at(j));
            }
        }
    }

    void add_selectors(const host::TabFields& cells) {
        // Kept for the process, never released after the interpreter has finished.
        static PyObject* const blank = PyUnicode_InternFromString(" ");
        for (size_t j = 0; j < cells.size(); ++j) {
            if (j >= keys_.size()) host::raise_index_error();
            keys_[j] = py::reinterpret_steal<py::str>(PyUnicode_Concat(keys_[j].ptr(), blank));
            if (!keys_[j]) host::raise_error();
            keys_[j] = py::reinterpret_steal<py::str>(PyUnicode_Concat(keys_[j].ptr(), cells.at(j).ptr()));
            if (!keys_[j]) host::raise_error();
        }
    }

    // Keys upper-cased, computed once for all data rows of the sheet.
    const std::vector<py::str>& upper_keys() {
        if (upper_.size() != keys_.size()) {
            upper_.clear();
            upper_.reserve(keys_.size());
            for (const auto& k : keys_) upper_.push_back(host::upper(k));
        }
        return upper_;
    }

private:
    std::vector<py::str> keys_;
    std::vector<py::str> upper_;
};

py::dict row_content(const host::TabFields& cells, const std::vector<py::str>& upper_keys) {
    py::dict info;
    for (size_t j = 3; j < upper_keys.size(); ++j) set_item(info, upper_keys[j], host::upper(cells.at(j)));
    return info;
}

}  // namespace

py::dict spec_row_content(py::handle line_list, py::handle key_list) {
    py::dict info;
    Py_ssize_t j = 0;
    for (py::handle key : key_list) {
        if (j > 2) {
            PyObject* cell = host::check(PyObject_GetItem(line_list.ptr(), py::int_(j).ptr()));
            // The value is computed before the key, as the host evaluates an assignment.
            py::object value = host::upper(py::reinterpret_steal<py::object>(cell));
            py::object upper_key = host::upper(key);
            set_item(info, upper_key, value);
        }
        ++j;
    }
    return info;
}

void SpecSheetReader::read(const py::str& path, const py::str& platform) {
    host::TextFile file(retry_space_encoded(path));
    KeyList keys;
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index == 0) {
            version_ = sheet_version(line, platform);
            continue;
        }
        if (index == 1) continue;
        host::TabFields cells(line);
        if (index == 2) {
            keys.add_categories(cells);
        } else if (index == 3) {
            keys.add_selectors(cells);
        } else {
            py::dict info = row_content(cells, keys.upper_keys());
            set_item(specs_, host::upper(cells.at(1)), info);
        }
    }
    file.close();
}

}  // namespace tallowby::sheets
