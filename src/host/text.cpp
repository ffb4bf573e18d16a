#include "host/text.hpp"

#include <array>
#include <cstring>

#include "host/checked.hpp"

namespace tallowby::host {

bool StrView::starts_with(Py_ssize_t pos, std::string_view prefix) const {
    if (pos < 0 || size_ - pos < static_cast<Py_ssize_t>(prefix.size())) return false;
    if (kind_ == PyUnicode_1BYTE_KIND) {
        const char* d = static_cast<const char*>(data_) + pos;
        for (size_t i = 0; i < prefix.size(); ++i)
            if (d[i] != prefix[i]) return false;
        return true;
    }
    for (size_t i = 0; i < prefix.size(); ++i)
        if ((*this)[pos + static_cast<Py_ssize_t>(i)] != static_cast<unsigned char>(prefix[i])) return false;
    return true;
}

bool StrView::starts_with_ignorecase(Py_ssize_t pos, std::string_view lower_prefix) const {
    if (pos < 0 || size_ - pos < static_cast<Py_ssize_t>(lower_prefix.size())) return false;
    if (kind_ == PyUnicode_1BYTE_KIND) {
        // The other characters that match an ASCII letter lie beyond U+00FF.
        const auto* d = static_cast<const unsigned char*>(data_) + pos;
        for (size_t i = 0; i < lower_prefix.size(); ++i) {
            const unsigned char p = static_cast<unsigned char>(lower_prefix[i]);
            const bool letter = p >= 'a' && p <= 'z';
            if ((letter ? (d[i] | 0x20) : d[i]) != p) return false;
        }
        return true;
    }
    for (size_t i = 0; i < lower_prefix.size(); ++i) {
        const Py_UCS4 c = (*this)[pos + static_cast<Py_ssize_t>(i)];
        const char p = lower_prefix[i];
        if (p >= 'a' && p <= 'z') {
            if (!matches_ignorecase(c, p)) return false;
        } else if (c != static_cast<unsigned char>(p)) {
            return false;
        }
    }
    return true;
}

Py_ssize_t StrView::find(Py_UCS4 c, Py_ssize_t from) const {
    for (Py_ssize_t i = from; i < size_; ++i)
        if ((*this)[i] == c) return i;
    return -1;
}

py::str substr(py::handle s, Py_ssize_t start, Py_ssize_t end) {
    // A part of an ASCII str of two or more characters is copied directly;
    // the host makes the rest (the whole str, the empty str, one character).
    if (PyUnicode_IS_ASCII(s.ptr()) && start >= 0 && end <= PyUnicode_GET_LENGTH(s.ptr()) && end - start >= 2 &&
        end - start < PyUnicode_GET_LENGTH(s.ptr())) {
        PyObject* r = host::check(PyUnicode_New(end - start, 127));
        std::memcpy(PyUnicode_DATA(r), static_cast<const char*>(PyUnicode_DATA(s.ptr())) + start,
                    static_cast<size_t>(end - start));
        return py::reinterpret_steal<py::str>(r);
    }
    return host::steal<py::str>(PyUnicode_Substring(s.ptr(), start, end));
}

namespace {

py::str call_method0(py::handle s, const char* name) {
    return host::steal<py::str>(PyObject_CallMethod(s.ptr(), name, nullptr));
}

py::str ascii_case(py::handle s, bool to_upper) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s.ptr());
    const char* src = reinterpret_cast<const char*>(PyUnicode_DATA(s.ptr()));
    bool changes = false;
    for (Py_ssize_t i = 0; i < n && !changes; ++i) {
        const char c = src[i];
        changes = to_upper ? (c >= 'a' && c <= 'z') : (c >= 'A' && c <= 'Z');
    }
    if (!changes) {
        // The host returns a new object for exact str too, but the value is all
        // that callers can observe for immutable texts.
        return py::reinterpret_borrow<py::str>(s);
    }
    PyObject* r = host::check(PyUnicode_New(n, 127));
    char* dst = reinterpret_cast<char*>(PyUnicode_DATA(r));
    for (Py_ssize_t i = 0; i < n; ++i) {
        char c = src[i];
        if (to_upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
        if (!to_upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        dst[i] = c;
    }
    return py::reinterpret_steal<py::str>(r);
}

}  // namespace

py::str upper(py::handle s) {
    if (PyUnicode_CheckExact(s.ptr()) && PyUnicode_IS_ASCII(s.ptr())) return ascii_case(s, true);
    return call_method0(s, "upper");
}

py::str lower(py::handle s) {
    if (PyUnicode_CheckExact(s.ptr()) && PyUnicode_IS_ASCII(s.ptr())) return ascii_case(s, false);
    return call_method0(s, "lower");
}

std::pair<Py_ssize_t, Py_ssize_t> strip_bounds(const StrView& v) {
    Py_ssize_t a = 0, b = v.size();
    if (v.kind() == PyUnicode_1BYTE_KIND) {
        static const std::array<bool, 256> space = [] {
            std::array<bool, 256> t{};
            for (Py_UCS4 c = 0; c < 256; ++c) t[c] = is_space(c);
            return t;
        }();
        const auto* d = static_cast<const Py_UCS1*>(v.data());
        while (a < b && space[d[a]]) ++a;
        while (b > a && space[d[b - 1]]) --b;
        return {a, b};
    }
    while (a < b && is_space(v[a])) ++a;
    while (b > a && is_space(v[b - 1])) --b;
    return {a, b};
}

py::str strip(py::handle s) {
    StrView v(s);
    const auto [a, b] = strip_bounds(v);
    if (a == 0 && b == v.size()) return py::reinterpret_borrow<py::str>(s);
    return substr(s, a, b);
}

bool is_blank(py::handle s) {
    StrView v(s);
    for (Py_ssize_t i = 0; i < v.size(); ++i)
        if (!is_space(v[i])) return false;
    return true;
}

py::str replace(py::handle s, const char* old_text, const char* new_text) {
    py::str o(old_text), n(new_text);
    return host::steal<py::str>(PyUnicode_Replace(s.ptr(), o.ptr(), n.ptr(), -1));
}

py::list split_char(py::handle s, Py_UCS4 sep) {
    StrView v(s);
    py::list out;
    Py_ssize_t start = 0;
    for (Py_ssize_t i = 0; i < v.size(); ++i) {
        if (v[i] == sep) {
            out.append(substr(s, start, i));
            start = i + 1;
        }
    }
    out.append(substr(s, start, v.size()));
    return out;
}

bool contains(py::handle haystack, py::handle needle) {
    const int r = host::check(PyUnicode_Contains(haystack.ptr(), needle.ptr()));
    return r == 1;
}

bool equals(py::handle s, const char* ascii) { return PyUnicode_CompareWithASCIIString(s.ptr(), ascii) == 0; }

py::str concat(py::handle a, py::handle b) {
    return host::steal<py::str>(PyUnicode_Concat(a.ptr(), b.ptr()));
}

py::str concat(std::initializer_list<py::handle> pieces) {
    py::list parts;
    for (py::handle p : pieces) parts.append(p);
    return host::steal<py::str>(PyUnicode_Join(py::str("").ptr(), parts.ptr()));
}

py::str from_utf8(std::string_view text) {
    return host::steal<py::str>(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
}

void raise_index_error() {
    host::raise(PyExc_IndexError, "list index out of range");
}

TabFields::TabFields(py::handle line) : line_(py::reinterpret_borrow<py::str>(line)) {
    StrView v(line);
    Py_ssize_t start = 0;
    for (Py_ssize_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\t') {
            starts_.push_back(start);
            ends_.push_back(i);
            start = i + 1;
        }
    }
    starts_.push_back(start);
    ends_.push_back(v.size());
}

py::str TabFields::at(size_t i) const {
    check(i);
    return substr(line_, starts_[i], ends_[i]);
}

bool TabFields::empty_at(size_t i) const {
    check(i);
    return starts_[i] == ends_[i];
}

bool TabFields::equals_at(size_t i, std::string_view ascii) const {
    check(i);
    if (ends_[i] - starts_[i] != static_cast<Py_ssize_t>(ascii.size())) return false;
    return StrView(line_).starts_with(starts_[i], ascii);
}

py::str TabFields::joined(size_t from, size_t to) const {
    if (to > starts_.size()) to = starts_.size();
    if (from >= to) return py::str("");
    return substr(line_, starts_[from], ends_[to - 1]);
}

py::list TabFields::to_list() const {
    py::list out(starts_.size());
    for (size_t i = 0; i < starts_.size(); ++i) {
        py::str f = substr(line_, starts_[i], ends_[i]);
        PyList_SET_ITEM(out.ptr(), static_cast<Py_ssize_t>(i), f.release().ptr());
    }
    return out;
}

}  // namespace tallowby::host
