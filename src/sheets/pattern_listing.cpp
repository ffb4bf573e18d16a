// Cycle counts from pattern listings: the stated number of pattern vectors
// plus, for every vector line, its repeat count times its value.
#include <cstdint>
#include <string_view>

#include "host/checked.hpp"
#include "host/regex.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/pattern_sets.hpp"

namespace tallowby::sheets {

namespace {

using host::is_decimal;
using host::is_space;
using host::StrView;

struct Span {
    Py_ssize_t begin = -1, end = -1;
    bool found() const { return begin >= 0; }
};

// The maximal run of decimal digits at `pos` (at least one), or no span.
Span digits_at(const StrView& v, Py_ssize_t pos) {
    Py_ssize_t end = pos;
    while (end < v.size() && is_decimal(v[end])) ++end;
    return end > pos ? Span{pos, end} : Span{};
}

// Group 1 of the first match of "Number\sof\spattern\svectors:\s(\d+)".
Span vector_count(const StrView& v) {
    static constexpr std::string_view words[] = {"Number", "of", "pattern", "vectors:"};
    for (Py_ssize_t start = v.find('N'); start >= 0; start = v.find('N', start + 1)) {
        Py_ssize_t pos = start;
        bool ok = true;
        for (std::string_view word : words) {
            if (!v.starts_with(pos, word)) {
                ok = false;
                break;
            }
            pos += static_cast<Py_ssize_t>(word.size());
            if (pos >= v.size() || !is_space(v[pos])) {
                ok = false;
                break;
            }
            ++pos;
        }
        if (!ok) continue;
        Span count = digits_at(v, pos);
        if (count.found()) return count;
    }
    return {};
}

// Group 1 of the first match of "repeat\s=\s(\d+)".
Span repeat_count(const StrView& v) {
    for (Py_ssize_t start = v.find('r'); start >= 0; start = v.find('r', start + 1)) {
        if (!v.starts_with(start, "repeat")) continue;
        Py_ssize_t pos = start + 6;
        if (pos + 2 >= v.size() || !is_space(v[pos]) || v[pos + 1] != '=' || !is_space(v[pos + 2])) continue;
        Span count = digits_at(v, pos + 3);
        if (count.found()) return count;
    }
    return {};
}

// Field 1 of re.split(r"\s+", line), for a line that does not start with
// white space; IndexError when the line has a single field.
Span second_field(const StrView& v) {
    Py_ssize_t pos = 0;
    while (pos < v.size() && !is_space(v[pos])) ++pos;
    if (pos == v.size()) host::raise_index_error();
    while (pos < v.size() && is_space(v[pos])) ++pos;
    Py_ssize_t end = pos;
    while (end < v.size() && !is_space(v[end])) ++end;
    return {pos, end};
}

int hex_digit(Py_UCS4 c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

// The plain forms of int(text) and int(text, 16) that fit in 62 bits: ASCII
// digits only (after "0x" for hex). Anything else is left to the host's int().
bool small_decimal(const StrView& v, Span s, int64_t& out) {
    if (s.end - s.begin > 18) return false;
    int64_t value = 0;
    for (Py_ssize_t i = s.begin; i < s.end; ++i) {
        const Py_UCS4 c = v[i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<int64_t>(c - '0');
    }
    out = value;
    return true;
}

bool small_hex(const StrView& v, Span s, int64_t& out) {
    Py_ssize_t i = s.begin;
    if (s.end - i >= 2 && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) i += 2;
    if (i == s.end) return false;
    while (i < s.end && v[i] == '0') ++i;
    if (s.end - i > 15) return false;
    int64_t value = 0;
    for (; i < s.end; ++i) {
        const int d = hex_digit(v[i]);
        if (d < 0) return false;
        value = value * 16 + d;
    }
    out = value;
    return true;
}

py::object host_int(const py::str& line, Span s, int base) {
    py::str text = host::substr(line, s.begin, s.end);
    return host::steal(PyLong_FromUnicodeObject(text.ptr(), base));
}

py::object add(const py::object& a, const py::object& b) {
    return host::steal(PyNumber_Add(a.ptr(), b.ptr()));
}

py::object multiply(const py::object& a, const py::object& b) {
    return host::steal(PyNumber_Multiply(a.ptr(), b.ptr()));
}

// An integer sum kept in 64 bits while it fits, in a host int beyond.
class Total {
public:
    void add_product(int64_t a, int64_t b) {
        int64_t product, sum;
        if (!__builtin_mul_overflow(a, b, &product) && !__builtin_add_overflow(small_, product, &sum)) {
            small_ = sum;
            return;
        }
        add_object(multiply(py::int_(a), py::int_(b)));
    }
    void add_object(const py::object& value) { big_ = big_ ? add(big_, value) : value; }
    py::object value() const {
        py::object small = py::int_(small_);
        return big_ ? add(big_, small) : small;
    }

private:
    int64_t small_ = 0;
    py::object big_;
};

}  // namespace

void PatternSetReader::read_pattern_file(py::handle path, py::handle set_name) {
    host::TextFile file(path);
    Total total;
    py::str count_line;  // line holding the last vector count, and where
    Span count_span;
    py::str line;
    while (file.next(line)) {
        const StrView v(line);
        if (Span count = vector_count(v); count.found()) {
            count_line = line;
            count_span = count;
        }
        if (v.size() == 0 || !is_decimal(v[0])) continue;

        const Span repeat = repeat_count(v);
        // No repeat count: what taking group 1 of a failed search raises.
        if (!repeat.found()) host::group_or_raise(py::none(), 1);
        Span value = second_field(v);
        const bool kept = (value.end - value.begin >= 6 && v.starts_with(value.begin, "0x0000")) ||
                          (value.end - value.begin >= 4 && v.starts_with(value.begin, "0000"));

        int64_t r, x;
        const bool small_repeat = small_decimal(v, repeat, r);
        if (!kept) {
            // The value counts as 0; the repeat text is still converted.
            if (!small_repeat) host_int(line, repeat, 10);
            continue;
        }
        if (small_repeat && small_hex(v, value, x)) {
            total.add_product(r, x);
            continue;
        }
        py::object repeat_value = small_repeat ? py::object(py::int_(r)) : host_int(line, repeat, 10);
        total.add_object(multiply(repeat_value, host_int(line, value, 16)));
    }

    py::object count = count_span.found() ? host_int(count_line, count_span, 10) : py::object(py::int_(0));
    py::object sum = add(total.value(), count);
    PyObject* key_raw = host::check(PyObject_CallMethod(set_name.ptr(), "upper", nullptr));
    py::object key = py::reinterpret_steal<py::object>(key_raw);
    PyObject* held = host::check(PyObject_GetItem(cycles_.ptr(), key.ptr()));
    py::object entry = add(sum, py::reinterpret_steal<py::object>(held));
    cycles_[key] = entry;
    file.close();
}

}  // namespace tallowby::sheets
