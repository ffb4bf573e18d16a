#include "sheets/pattern_sets.hpp"

#include <vector>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/regex.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/pattern_tool.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

namespace {

// Pattern file extensions in the order the truncation tries them: compound
// extensions before the simple ones they end with.
const py::list& valid_extensions() {
    static const py::list* list = [] {
        auto* l = new py::list();
        for (const char* ext : {".PATX.GZ", ".PAT.GZ", ".PATX", ".PAT"}) l->append(py::str(ext));
        return l;
    }();
    return *list;
}

py::object lower_of(py::handle o) {
    if (PyUnicode_CheckExact(o.ptr())) return host::lower(o);
    return host::steal(PyObject_CallMethod(o.ptr(), "lower", nullptr));
}

// haystack.find(needle)
Py_ssize_t find_in(py::handle haystack, py::handle needle) {
    if (PyUnicode_CheckExact(haystack.ptr()) && PyUnicode_CheckExact(needle.ptr())) {
        const Py_ssize_t at = PyUnicode_Find(haystack.ptr(), needle.ptr(), 0, PY_SSIZE_T_MAX, 1);
        if (at == -2) host::raise_error();
        return at;
    }
    py::object r = host::steal(PyObject_CallMethod(haystack.ptr(), "find", "O", needle.ptr()));
    const Py_ssize_t at = PyLong_AsSsize_t(r.ptr());
    if (at == -1) host::check_error();
    return at;
}

bool ends_with_extension(py::handle upper_text) {
    for (py::handle ext : valid_extensions()) {
        Py_ssize_t r;
        if (PyUnicode_Check(upper_text.ptr())) {
            r = host::check(PyUnicode_Tailmatch(upper_text.ptr(), ext.ptr(), 0, PY_SSIZE_T_MAX, 1));
        } else {
            py::object hit = host::steal(PyObject_CallMethod(upper_text.ptr(), "endswith", "O", ext.ptr()));
            r = host::check(PyObject_IsTrue(hit.ptr()));
        }
        if (r) return true;
    }
    return false;
}

py::object upper_of(py::handle o) {
    if (PyUnicode_Check(o.ptr())) return host::upper(o);
    return host::steal(PyObject_CallMethod(o.ptr(), "upper", nullptr));
}

[[noreturn]] void raise_no_definition(py::handle item) {
    py::object text = host::steal(PyObject_Str(item.ptr()));
    py::str message = py::str("Error: Patset found item without pattern definition: ") + py::str(text);
    PyErr_SetObject(PyExc_ValueError, message.ptr());
    host::raise_error();
}

[[noreturn]] void raise_cycle(const std::vector<py::object>& chain, py::handle again) {
    py::list names;
    for (const auto& key : chain) names.append(key);
    names.append(again);
    py::object joined = host::steal(PyUnicode_Join(py::str(" -> ").ptr(), names.ptr()));
    py::str message = py::str("pattern set contains itself: ") + py::str(joined);
    PyErr_SetObject(PyExc_RecursionError, message.ptr());
    host::raise_error();
}

// One set stands for at most this many pattern files: sets that name other
// sets several times at every level would otherwise double their paths per
// level until memory runs out.
constexpr Py_ssize_t max_set_paths = 1 << 20;

[[noreturn]] void raise_too_many(py::handle set_name) {
    py::object text = host::steal(PyObject_Str(set_name.ptr()));
    host::raise_format(PyExc_ValueError, "pattern set %U stands for more than %zd pattern files", text.ptr(),
                       max_set_paths);
}

// Item cell of a data row for the sheet version in effect.
size_t item_cell(const py::object& version) {
    if (version && PyUnicode_CheckExact(version.ptr())) {
        if (host::equals(version, "2.3")) return 4;
        if (host::equals(version, "1.1")) return 2;
    }
    return 5;
}

}  // namespace

bool contains_any_substring(py::handle s, py::handle substrings) {
    py::object it = host::steal(PyObject_GetIter(substrings.ptr()));
    while (PyObject* raw = PyIter_Next(it.ptr())) {
        py::object sub = py::reinterpret_steal<py::object>(raw);
        const bool r = host::holds(s, sub);
        if (r) return true;
    }
    host::check_error();
    return false;
}

py::object truncate_after_substring(py::handle s, py::handle substrings) {
    py::object folded = lower_of(s);
    const Py_ssize_t size = host::size(s);
    Py_ssize_t end = size;
    py::object it = host::steal(PyObject_GetIter(substrings.ptr()));
    while (PyObject* raw = PyIter_Next(it.ptr())) {
        py::object sub = py::reinterpret_steal<py::object>(raw);
        const Py_ssize_t at = find_in(folded, lower_of(sub));
        const Py_ssize_t sub_size = host::size(sub);
        if (at != -1 && at < end - sub_size) {
            end = at + sub_size;
            break;
        }
    }
    host::check_error();
    if (end != size) return host::steal(PySequence_GetSlice(s.ptr(), 0, end));
    return py::reinterpret_borrow<py::object>(s);
}

PatternSetReader::PatternSetReader() : version_(py::none()) {}

void PatternSetReader::read(const py::str& requested, const py::str& platform) {
    const py::str path = retry_space_encoded(requested);
    host::TextFile file(path);
    py::list items;
    py::str last_name("");
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index == 0) {
            version_ = sheet_version(line, platform);
            continue;
        }
        if (index < 3) continue;
        host::TabFields fields(line);
        if (fields.empty_at(1)) break;
        py::str name = fields.at(1);
        if (PyUnicode_Compare(name.ptr(), last_name.ptr()) != 0) {
            items = py::list();
            cycles_[host::upper(name)] = py::int_(0);
            last_name = name;
        }
        items.append(fields.at(item_cell(version_)));
        sets_[host::upper(name)] = items;
    }
    file.close();
}

// Appends to `out` the pattern file paths of `items`, nested sets expanded
// depth-first. `key` names the set the items belong to (null for a loose
// item). Expansion keeps its own stack of open sets instead of recursing, so
// deep nesting cannot exhaust the C++ stack, and a set met again while it is
// still open is reported as a cycle. The paths of every set expanded are
// kept in `done` (set name -> its paths), so a set is expanded only once
// however often it is named: the work is linear in the sets, items and
// paths.
void PatternSetReader::expand(py::handle key, py::handle items, py::list& out, py::dict& done) const {
    struct Frame {
        py::object key;
        py::object iter;
        py::list paths;
    };
    std::vector<Frame> stack;
    std::vector<py::object> chain;  // keys of the open sets, outermost first
    py::set open_keys;              // the same keys, for the cycle test
    auto open_set = [&](py::handle k) {
        chain.push_back(py::reinterpret_borrow<py::object>(k));
        host::check(PySet_Add(open_keys.ptr(), k.ptr()));
    };
    // The set named in the failure when there are too many paths.
    const py::object top =
        key ? py::reinterpret_borrow<py::object>(key) : host::steal(PySequence_GetItem(items.ptr(), 0));
    auto add_paths = [&](py::list& paths, py::handle more) {
        const Py_ssize_t n = PyList_GET_SIZE(paths.ptr());
        if (n + PyList_GET_SIZE(more.ptr()) > max_set_paths) raise_too_many(top);
        host::check(PyList_SetSlice(paths.ptr(), n, n, more.ptr()));
    };
    stack.push_back({py::reinterpret_borrow<py::object>(key), host::steal(PyObject_GetIter(items.ptr())), py::list()});
    if (key) open_set(key);

    while (!stack.empty()) {
        PyObject* raw = PyIter_Next(stack.back().iter.ptr());
        if (!raw) {
            host::check_error();
            Frame finished = std::move(stack.back());
            stack.pop_back();
            if (finished.key) {
                host::check(PySet_Discard(open_keys.ptr(), chain.back().ptr()));
                chain.pop_back();
                if (PyDict_SetItem(done.ptr(), finished.key.ptr(), finished.paths.ptr()) < 0)
                    host::raise_error();
            }
            add_paths(stack.empty() ? out : stack.back().paths, finished.paths);
            continue;
        }
        py::object item = py::reinterpret_steal<py::object>(raw);
        py::list& paths = stack.back().paths;
        py::object upper = upper_of(item);
        if (ends_with_extension(upper)) {
            if (PyList_GET_SIZE(paths.ptr()) >= max_set_paths) raise_too_many(top);
            paths.append(item);
            continue;
        }
        if (contains_any_substring(upper, valid_extensions())) {
            if (PyList_GET_SIZE(paths.ptr()) >= max_set_paths) raise_too_many(top);
            paths.append(truncate_after_substring(item, valid_extensions()));
            continue;
        }
        PyObject* nested = PyDict_GetItemWithError(sets_.ptr(), upper.ptr());
        if (!nested) {
            host::check_error();
            raise_no_definition(item);
        }
        py::object nested_items = py::reinterpret_borrow<py::object>(nested);
        const int again = host::check(PySet_Contains(open_keys.ptr(), upper.ptr()));
        if (again) raise_cycle(chain, upper);
        if (PyObject* known = PyDict_GetItemWithError(done.ptr(), upper.ptr())) {
            add_paths(paths, known);
            continue;
        }
        host::check_error();
        open_set(upper);
        stack.push_back({upper, host::steal(PyObject_GetIter(nested_items.ptr())), py::list()});
    }
}

py::list PatternSetReader::pat_path(const py::str& item) const {
    py::list out;
    py::dict done;
    py::tuple single = py::make_tuple(item);
    expand(py::handle(), single, out, done);
    return out;
}

py::dict PatternSetReader::resolved() const {
    py::dict result;
    py::dict done;
    // A snapshot of the entries, so that the walk never depends on the map
    // staying as it is.
    py::object entries = host::steal(PyDict_Items(sets_.ptr()));
    for (py::handle entry : entries) {
        py::handle key = PyTuple_GET_ITEM(entry.ptr(), 0);
        py::handle items = PyTuple_GET_ITEM(entry.ptr(), 1);
        py::list paths;
        if (PyObject* known = PyDict_GetItemWithError(done.ptr(), key.ptr())) {
            // expanded already as a set named by an earlier one
            host::check(PyList_SetSlice(paths.ptr(), 0, 0, known));
        } else {
            host::check_error();
            expand(key, items, paths, done);
        }
        result[key] = paths;
    }
    return result;
}

namespace {

// The pattern path: the folder's pieces without the last, then the file
// path's pieces without the first, pieces split at "/" and "\" and joined
// with "/".
py::str pattern_path_of(const py::str& folder, const py::str& file_path) {
    const py::str slash("/");
    const py::str f = host::replace(folder, "\\", "/");
    const py::str p = host::replace(file_path, "\\", "/");
    const Py_ssize_t folder_cut = PyUnicode_FindChar(f.ptr(), '/', 0, PyUnicode_GET_LENGTH(f.ptr()), -1);
    const Py_ssize_t file_cut = PyUnicode_FindChar(p.ptr(), '/', 0, PyUnicode_GET_LENGTH(p.ptr()), 1);
    if (folder_cut == -2 || file_cut == -2) host::raise_error();
    const bool has_head = folder_cut >= 0;  // the folder has pieces before its last
    const bool has_tail = file_cut >= 0;    // the file path has pieces after its first
    py::str head = has_head ? host::substr(f, 0, folder_cut) : py::str("");
    py::str tail = has_tail ? host::substr(p, file_cut + 1, PyUnicode_GET_LENGTH(p.ptr())) : py::str("");
    if (has_head && has_tail) return head + slash + tail;
    return has_head ? head : tail;
}

}  // namespace

void PatternSetReader::read_tset(const py::str& folder, const py::str& file_path) {
    if (PyUnicode_GET_LENGTH(folder.ptr()) == 0) return;
    const py::str pattern_path = pattern_path_of(folder, file_path);
    if (!host::path_exists(pattern_path)) {
        py::list missing;
        missing.append(py::str("Error: pattern file does not exist"));
        tset_names_ = missing;
        return;
    }
    const py::str output_path = folder + py::str("/pattern_tset.txt");
    run_pattern_tool(pattern_path, output_path);

    static const host::HostPattern tset_line(R"(\t(\S+) {1,2}\d\n)");
    host::TextFile output(output_path);
    py::str text = output.read();
    output.close();
    tset_names_ = tset_line.findall(text);
}

}  // namespace tallowby::sheets
