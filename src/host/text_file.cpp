#include "host/text_file.hpp"

#include <sys/stat.h>

#include <cstring>

#include "host/checked.hpp"

namespace tallowby::host {

TextFile::TextFile(py::handle path, const char* encoding, const char* errors) {
    PyObject* builtins = PyEval_GetBuiltins();
    PyObject* open = host::check(PyDict_GetItemString(builtins, "open"));
    py::dict kwargs;
    if (encoding) kwargs["encoding"] = encoding;
    if (errors) kwargs["errors"] = errors;
    py::tuple args = py::make_tuple(path);
    PyObject* f = host::check(PyObject_Call(open, args.ptr(), kwargs.ptr()));
    file_ = py::reinterpret_steal<py::object>(f);
}

void close_keeping_error(py::handle file) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyObject* r = PyObject_CallMethod(file.ptr(), "close", nullptr);
    Py_XDECREF(r);
    PyErr_Clear();
    PyErr_Restore(type, value, tb);
}

TextFile::~TextFile() {
    if (file_) close_keeping_error(file_);
}

bool TextFile::next(py::str& line) {
    if (!iter_) {
        PyObject* it = host::check(PyObject_GetIter(file_.ptr()));
        iter_ = py::reinterpret_steal<py::object>(it);
    }
    PyObject* item = PyIter_Next(iter_.ptr());
    if (!item) {
        host::check_error();
        return false;
    }
    line = py::reinterpret_steal<py::str>(item);
    return true;
}

py::list TextFile::readlines() {
    return host::steal<py::list>(PyObject_CallMethod(file_.ptr(), "readlines", nullptr));
}

py::str TextFile::read() {
    return host::steal<py::str>(PyObject_CallMethod(file_.ptr(), "read", nullptr));
}

void TextFile::close() {
    if (!file_) return;
    py::object f = std::move(file_);
    PyObject* r = host::check(PyObject_CallMethod(f.ptr(), "close", nullptr));
    Py_DECREF(r);
}

py::list read_lines(py::handle path, const char* encoding, const char* errors) {
    TextFile f(path, encoding, errors);
    py::list lines = f.readlines();
    f.close();
    return lines;
}

void write_bytes(py::handle path, py::handle data, const char* mode) {
    PyObject* builtins = PyEval_GetBuiltins();
    PyObject* open = host::check(PyDict_GetItemString(builtins, "open"));
    PyObject* f = host::check(PyObject_CallFunction(open, "Os", path.ptr(), mode));
    py::object file = py::reinterpret_steal<py::object>(f);
    PyObject* written = PyObject_CallMethod(f, "write", "O", data.ptr());
    if (!written) {
        close_keeping_error(f);  // the write's own error goes on
        host::raise_error();
    }
    Py_DECREF(written);
    PyObject* r = host::check(PyObject_CallMethod(f, "close", nullptr));
    Py_DECREF(r);
}

namespace {

// stat() of a path given as str, bytes or os.PathLike; false when the path
// cannot name a file (embedded NUL, unencodable), as os.path does.
bool stat_path(py::handle path, struct stat* st) {
    PyObject* encoded = nullptr;
    if (!PyUnicode_FSConverter(path.ptr(), &encoded)) {
        PyErr_Clear();
        return false;
    }
    py::object holder = py::reinterpret_steal<py::object>(encoded);
    const char* raw = PyBytes_AS_STRING(encoded);
    if (static_cast<Py_ssize_t>(strlen(raw)) != PyBytes_GET_SIZE(encoded)) return false;
    int rc;
    Py_BEGIN_ALLOW_THREADS rc = ::stat(raw, st);
    Py_END_ALLOW_THREADS return rc == 0;
}

}  // namespace

bool is_regular_file(py::handle path) {
    struct stat st;
    return stat_path(path, &st) && S_ISREG(st.st_mode);
}

bool path_exists(py::handle path) {
    struct stat st;
    return stat_path(path, &st);
}

}  // namespace tallowby::host
