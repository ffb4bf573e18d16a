#include "host/utf8_lines.hpp"

#include "host/checked.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tallowby::host {

namespace {

// The bytes of the file, read with one read through the host's binary open();
// the file is closed whether the read succeeds or not.
py::object read_all_bytes(py::handle path) {
    PyObject* builtins = PyEval_GetBuiltins();
    PyObject* open = builtins ? PyDict_GetItemString(builtins, "open") : nullptr;
    if (!open) {
        if (!PyErr_Occurred()) host::raise(PyExc_RuntimeError, "open() is not available");
    }
    PyObject* f = host::check(PyObject_CallFunction(open, "Osi", path.ptr(), "rb", 0));
    py::object file = py::reinterpret_steal<py::object>(f);

    PyObject* data = PyObject_CallMethod(f, "read", nullptr);
    if (!data) {
        close_keeping_error(f);  // the read's own error goes on
        host::raise_error();
    }
    py::object bytes = py::reinterpret_steal<py::object>(data);
    PyObject* r = host::check(PyObject_CallMethod(f, "close", nullptr));
    Py_DECREF(r);
    if (!PyBytes_Check(data)) {
        host::raise_format(PyExc_TypeError, "read() should return bytes, not %.200s", Py_TYPE(data)->tp_name);
    }
    return bytes;
}

// The smallest maximum character that PyUnicode_New accepts for a text whose
// characters, or-ed together, give `bits`: the kinds split at powers of two,
// so the or of all characters tells the kind as well as their maximum does.
Py_UCS4 max_char_for(Py_UCS4 bits) {
    if (bits < 0x80) return 0x7F;
    if (bits < 0x100) return 0xFF;
    if (bits < 0x10000) return 0xFFFF;
    return 0x10FFFF;
}

template <typename T>
Py_UCS4 or_of(const T* p, Py_ssize_t n) {
    Py_UCS4 bits = 0;
    for (Py_ssize_t i = 0; i < n; ++i) bits |= p[i];
    return bits;
}

template <typename From, typename To>
void narrow(const From* src, Py_ssize_t n, void* dest) {
    To* d = static_cast<To*>(dest);
    for (Py_ssize_t i = 0; i < n; ++i) d[i] = static_cast<To>(src[i]);
}

// A new exact str of the n characters at src followed, when `newline`, by "\n",
// in the narrowest kind that holds them.
template <typename T>
PyObject* make_line(const T* src, Py_ssize_t n, bool newline, Py_UCS4 max_char) {
    PyObject* s = PyUnicode_New(n + (newline ? 1 : 0), max_char);
    if (!s) return nullptr;
    const int kind = PyUnicode_KIND(s);
    void* data = PyUnicode_DATA(s);
    if (kind == static_cast<int>(sizeof(T))) {
        if (n) std::memcpy(data, src, static_cast<size_t>(n) * sizeof(T));
    } else if (kind == PyUnicode_1BYTE_KIND) {
        narrow<T, Py_UCS1>(src, n, data);
    } else {
        narrow<T, Py_UCS2>(src, n, data);
    }
    if (newline) PyUnicode_WRITE(kind, data, n, '\n');
    return s;
}

// Position of the first CR or LF in [p, end), or end.
template <typename T>
const T* find_line_end(const T* p, const T* end) {
    while (p < end && *p != '\n' && *p != '\r') ++p;
    return p;
}

// One-byte texts. Without a CR anywhere, lines end only at LF, found with
// memchr; otherwise CR and LF are looked for in one pass, 16 bytes at a time.
class ByteLineEnds {
public:
    ByteLineEnds(const Py_UCS1* begin, const Py_UCS1* end)
        : end_(end), has_cr_(std::memchr(begin, '\r', static_cast<size_t>(end - begin)) != nullptr) {}

    const Py_UCS1* find(const Py_UCS1* p) const {
        if (!has_cr_) {
            const void* hit = std::memchr(p, '\n', static_cast<size_t>(end_ - p));
            return hit ? static_cast<const Py_UCS1*>(hit) : end_;
        }
#if defined(__SSE2__)
        const __m128i lf = _mm_set1_epi8('\n');
        const __m128i cr = _mm_set1_epi8('\r');
        while (end_ - p >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
            if (hits) return p + __builtin_ctz(static_cast<unsigned>(hits));
            p += 16;
        }
#endif
        return find_line_end(p, end_);
    }

private:
    const Py_UCS1* end_;
    bool has_cr_;
};

template <typename T>
struct GenericLineEnds {
    const T* end;
    const T* find(const T* p) const { return find_line_end(p, end); }
};

template <typename T, typename Ends>
void split_into(PyObject* text, const T* begin, Py_ssize_t size, bool ascii, Ends ends, PyObject* out) {
    const T* end = begin + size;
    const T* p = begin;
    while (p < end) {
        const T* stop = ends.find(p);
        const T* next = stop;
        bool newline = false;
        if (stop < end) {
            newline = true;
            next = stop + 1;
            if (*stop == '\r' && next < end && *next == '\n') ++next;
        }
        const Py_ssize_t n = stop - p;
        PyObject* line;
        if (p == begin && next == end && (!newline || *stop == '\n')) {
            // The whole text is one line as it stands.
            Py_INCREF(text);
            line = text;
        } else {
            const Py_UCS4 bits = ascii ? 0 : or_of(p, n);
            line = host::check(make_line(p, n, newline, max_char_for(bits)));
        }
        const int rc = PyList_Append(out, line);
        Py_DECREF(line);
        host::check(rc);
        p = next;
    }
}

}  // namespace

py::list split_universal_lines(py::handle text) {
    PyObject* s = text.ptr();
    if (!PyUnicode_CheckExact(s)) {
        host::raise_format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(s)->tp_name);
    }
    py::list out;
    const Py_ssize_t size = PyUnicode_GET_LENGTH(s);
    if (size == 0) return out;
    const void* data = PyUnicode_DATA(s);
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: {
            const auto* b = static_cast<const Py_UCS1*>(data);
            split_into(s, b, size, PyUnicode_IS_ASCII(s), ByteLineEnds(b, b + size), out.ptr());
            break;
        }
        case PyUnicode_2BYTE_KIND: {
            const auto* b = static_cast<const Py_UCS2*>(data);
            split_into(s, b, size, false, GenericLineEnds<Py_UCS2>{b + size}, out.ptr());
            break;
        }
        default: {
            const auto* b = static_cast<const Py_UCS4*>(data);
            split_into(s, b, size, false, GenericLineEnds<Py_UCS4>{b + size}, out.ptr());
            break;
        }
    }
    return out;
}

}  // namespace tallowby::host

namespace tallowby::host {

namespace {

// The kinds of line end in the bytes: 1 CR, 2 LF, 4 CR LF. Neither encoding
// read here has a CR or LF byte inside a character.
int line_end_kinds(const char* data, Py_ssize_t size) {
    int seen = 0;
    for (Py_ssize_t i = 0; i < size; ++i) {
        if (data[i] == '\n') {
            seen |= 2;
        } else if (data[i] == '\r') {
            if (i + 1 < size && data[i + 1] == '\n') {
                seen |= 4;
                ++i;
            } else {
                seen |= 1;
            }
        }
    }
    return seen;
}

py::object newlines_of(int seen) {
    if (seen == 0) return py::none();
    py::list kinds;
    if (seen & 1) kinds.append(py::str("\r"));
    if (seen & 2) kinds.append(py::str("\n"));
    if (seen & 4) kinds.append(py::str("\r\n"));
    if (py::len(kinds) == 1) return kinds[0];
    return py::tuple(kinds);
}

// Decodes strictly; null (and no error set) when the bytes are not of the
// encoding. Errors other than a decoding error go on.
PyObject* decode_strict(const char* data, Py_ssize_t size, const char* encoding) {
    PyObject* text = PyUnicode_Decode(data, size, encoding, "strict");
    if (text) return text;
    if (!PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) host::raise_error();
    PyErr_Clear();
    return nullptr;
}

// Whether a decoded text holds characters of the private use area, which a
// GB18030 reading of Big5 bytes gives in place of most of their characters.
bool has_private_use(PyObject* text) {
    if (PyUnicode_KIND(text) == PyUnicode_1BYTE_KIND) return false;
    const Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    const int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t i = 0; i < n; ++i) {
        const Py_UCS4 c = PyUnicode_READ(kind, data, i);
        if (c >= 0xE000 && c <= 0xF8FF) return true;
    }
    return false;
}

}  // namespace

ModuleText read_module_text(py::handle path) {
    ModuleText out;
    py::str text;
    {
        py::object bytes = read_all_bytes(path);
        const char* data = PyBytes_AS_STRING(bytes.ptr());
        Py_ssize_t size = PyBytes_GET_SIZE(bytes.ptr());
        out.newlines = newlines_of(line_end_kinds(data, size));
        const bool bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0;
        PyObject* decoded = decode_strict(data, size, "utf-8");
        if (decoded) {
            out.encoding = bom ? "utf-8-sig" : "utf-8";
        } else if ((decoded = decode_strict(data, size, "gb18030"))) {
            out.encoding = "gb18030";
            // Traditional Chinese modules (Big5, as Windows writes it) read as
            // GB18030 too, but mostly as private-use characters.
            if (has_private_use(decoded)) {
                if (PyObject* big5 = decode_strict(data, size, "cp950")) {
                    if (has_private_use(big5)) {
                        Py_DECREF(big5);
                    } else {
                        Py_DECREF(decoded);
                        decoded = big5;
                        out.encoding = "cp950";
                    }
                }
            }
        } else {
            decoded = host::check(PyUnicode_DecodeUTF8(data, size, "ignore"));
            out.encoding = "utf-8-lossy";
        }
        text = py::reinterpret_steal<py::str>(decoded);
        if (out.encoding[0] == 'u' && bom) text = substr(text, 1, PyUnicode_GET_LENGTH(text.ptr()));
    }
    out.lines = split_universal_lines(text);
    return out;
}

}  // namespace tallowby::host
