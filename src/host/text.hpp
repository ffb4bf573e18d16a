// Text predicates and operations that give exactly what the host's own str
// methods and `re` character classes give.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace tallowby::host {
namespace py = pybind11;

// `\s`, str.isspace() and str.strip() agree on this set.
inline bool is_space(Py_UCS4 c) { return Py_UNICODE_ISSPACE(c); }
// `\w` for str patterns.
inline bool is_word(Py_UCS4 c) {
    if (c < 128) return c == '_' || (c >= '0' && c <= '9') || ((c | 32) >= 'a' && (c | 32) <= 'z');
    return Py_UNICODE_ISALNUM(c);
}
// `\d` for str patterns.
inline bool is_decimal(Py_UCS4 c) { return Py_UNICODE_ISDECIMAL(c); }

// Whether `c` matches the lower-case ASCII letter `lower` under the host's
// ignore-case matching: both ASCII cases, plus U+0130/U+0131 for i, U+017F
// for s and U+212A for k.
inline bool matches_ignorecase(Py_UCS4 c, char lower) {
    if (c < 128) return (c | 32) == static_cast<Py_UCS4>(lower);
    switch (lower) {
        case 'i': return c == 0x130 || c == 0x131;
        case 's': return c == 0x17F;
        case 'k': return c == 0x212A;
        default: return false;
    }
}

// Read-only access to the code points of a str.
class StrView {
public:
    explicit StrView(py::handle s)
        : obj_(s.ptr()), kind_(PyUnicode_KIND(s.ptr())), data_(PyUnicode_DATA(s.ptr())),
          size_(PyUnicode_GET_LENGTH(s.ptr())) {}
    // The part s[start:end] (0 <= start <= end <= len(s)); positions count from start.
    StrView(py::handle s, Py_ssize_t start, Py_ssize_t end)
        : obj_(s.ptr()), kind_(PyUnicode_KIND(s.ptr())),
          data_(static_cast<const char*>(PyUnicode_DATA(s.ptr())) + start * PyUnicode_KIND(s.ptr())),
          size_(end - start) {}
    Py_ssize_t size() const { return size_; }
    Py_UCS4 operator[](Py_ssize_t i) const { return PyUnicode_READ(kind_, data_, i); }
    PyObject* object() const { return obj_; }
    bool is_ascii() const { return PyUnicode_IS_ASCII(obj_); }
    // The code units of the view: 1, 2 or 4 bytes each.
    int kind() const { return kind_; }
    const void* data() const { return data_; }
    // Whether the text from `pos` on starts with the ASCII text `prefix` (exact case).
    bool starts_with(Py_ssize_t pos, std::string_view prefix) const;
    // Same, ignoring case as the host's `re` does (prefix given in lower case).
    bool starts_with_ignorecase(Py_ssize_t pos, std::string_view lower_prefix) const;
    // First position >= from holding `c`, or -1.
    Py_ssize_t find(Py_UCS4 c, Py_ssize_t from = 0) const;

private:
    PyObject* obj_;
    int kind_;
    const void* data_;
    Py_ssize_t size_;
};

// New str holding s[start:end].
py::str substr(py::handle s, Py_ssize_t start, Py_ssize_t end);
// str.upper() / str.lower(): the full mapping; ASCII texts take a fast path.
py::str upper(py::handle s);
py::str lower(py::handle s);
// str.strip() with no argument.
py::str strip(py::handle s);
// The bounds [start, end) that str.strip() keeps.
std::pair<Py_ssize_t, Py_ssize_t> strip_bounds(const StrView& v);
// Whether str.strip() of s would be empty.
bool is_blank(py::handle s);
// str.replace(old, new) for every occurrence.
py::str replace(py::handle s, const char* old_text, const char* new_text);
// str.split(sep) with a one-character separator: every piece kept.
py::list split_char(py::handle s, Py_UCS4 sep);
// a in b (exact, case-sensitive containment).
bool contains(py::handle haystack, py::handle needle);
bool equals(py::handle s, const char* ascii);
py::str from_utf8(std::string_view text);
// a + b for two str objects.
py::str concat(py::handle a, py::handle b);
// The pieces (str objects) joined into one str.
py::str concat(std::initializer_list<py::handle> pieces);

// IndexError("list index out of range"), as indexing a host list raises.
[[noreturn]] void raise_index_error();

// The fields of one sheet line split on tab, with nothing trimmed: the last
// field keeps the line end. Fields are made on demand.
class TabFields {
public:
    explicit TabFields(py::handle line);
    size_t size() const { return starts_.size(); }
    // Field i; IndexError when the line has no such field.
    py::str at(size_t i) const;
    // Whether field i is the empty text (IndexError when missing).
    bool empty_at(size_t i) const;
    // Field i compared with an ASCII text (IndexError when missing).
    bool equals_at(size_t i, std::string_view ascii) const;
    // Fields [from, to) joined with tabs (clipped to the line), as one str.
    py::str joined(size_t from, size_t to) const;
    // All fields as a host list.
    py::list to_list() const;
    const py::str& line() const { return line_; }

private:
    void check(size_t i) const {
        if (i >= starts_.size()) raise_index_error();
    }
    py::str line_;
    std::vector<Py_ssize_t> starts_;
    std::vector<Py_ssize_t> ends_;
};

}  // namespace tallowby::host
