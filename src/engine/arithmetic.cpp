#include "engine/arithmetic.hpp"

#include <string>
#include <utility>
#include <vector>

#include "host/checked.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

// Parentheses nest at most this deep, as in the host's own parser.
constexpr int max_nesting = 200;

// Whole-number results beyond this many bits are refused before the host
// starts on them: no level or period comes near, and a product or power of
// that size would take the host minutes and gigabytes.
constexpr long long max_whole_bits = 1 << 20;

long long bits_of(const py::object& whole) {
    const long long bits = PyLong_AsLongLong(host::steal(PyObject_CallMethod(whole.ptr(), "bit_length", nullptr)).ptr());
    if (bits == -1) host::check_error();
    return bits;
}

[[noreturn]] void raise_too_large() {
    host::raise(PyExc_OverflowError, "integer result too large to compute");
}

void check_product_size(const py::object& a, const py::object& b) {
    if (!PyLong_CheckExact(a.ptr()) || !PyLong_CheckExact(b.ptr())) return;
    if (bits_of(a) + bits_of(b) > max_whole_bits) raise_too_large();
}

void check_power_size(const py::object& base, const py::object& exponent) {
    if (!PyLong_CheckExact(base.ptr()) || !PyLong_CheckExact(exponent.ptr())) return;
    int overflow = 0;
    const long long e = PyLong_AsLongLongAndOverflow(exponent.ptr(), &overflow);
    if (overflow < 0 || (!overflow && e <= 1)) return;  // a negative power is a float
    const long long bits = bits_of(base);
    if (bits <= 1) return;  // 0, 1 and -1 stay small
    if (overflow > 0 || static_cast<double>(bits - 1) * static_cast<double>(e) > max_whole_bits) raise_too_large();
}

py::object apply(int op, const py::object& a, const py::object& b) {
    switch (op) {
        case '+': return host::steal(PyNumber_Add(a.ptr(), b.ptr()));
        case '-': return host::steal(PyNumber_Subtract(a.ptr(), b.ptr()));
        case '*':
            check_product_size(a, b);
            return host::steal(PyNumber_Multiply(a.ptr(), b.ptr()));
        case '/': return host::steal(PyNumber_TrueDivide(a.ptr(), b.ptr()));
        case 'f': return host::steal(PyNumber_FloorDivide(a.ptr(), b.ptr()));
        case '%': return host::steal(PyNumber_Remainder(a.ptr(), b.ptr()));
        default:
            check_power_size(a, b);
            return host::steal(PyNumber_Power(a.ptr(), b.ptr(), Py_None));
    }
}

py::object signed_value(bool negative, const py::object& value) {
    return negative ? host::steal(PyNumber_Negative(value.ptr())) : host::steal(PyNumber_Positive(value.ptr()));
}

bool is_blank(Py_UCS4 c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n'; }
bool is_digit(Py_UCS4 c) { return c >= '0' && c <= '9'; }
bool is_operator_start(Py_UCS4 c) {
    return c == '+' || c == '-' || c == '*' || c == '/' || c == '%' || c == '(' || c == ')';
}

// Recursive descent over the code points of the text, with the host's
// grammar for these operators:
//   sum     := product (('+' | '-') product)*
//   product := factor (('*' | '/' | '//' | '%') factor)*
//   factor  := ('+' | '-')* power
//   power   := operand ('**' factor)?
//   operand := number | '(' sum ')'
// Runs of signs and chains of powers are read in loops, so only
// parentheses take stack, and those are bounded.
class Parser {
public:
    explicit Parser(py::handle text) : text_(text), v_(text) {}

    py::object parse() {
        py::object result = sum(0);
        skip_blanks();
        if (pos_ != v_.size()) fail();
        return result;
    }

private:
    [[noreturn]] void fail() const {
        host::raise_format(PyExc_ValueError, "not an arithmetic expression: %R", text_.ptr());
    }

    void skip_blanks() {
        while (pos_ < v_.size() && is_blank(v_[pos_])) ++pos_;
    }

    // The next non-blank code point, or 0 at the end.
    Py_UCS4 peek() {
        skip_blanks();
        return pos_ < v_.size() ? v_[pos_] : 0;
    }
    Py_UCS4 at(Py_ssize_t i) const { return i < v_.size() ? v_[i] : 0; }

    py::object sum(int depth) {
        py::object acc = product(depth);
        for (Py_UCS4 c = peek(); c == '+' || c == '-'; c = peek()) {
            ++pos_;
            acc = apply(static_cast<int>(c), acc, product(depth));
        }
        return acc;
    }

    // The multiplicative operator at the position ('f' for '//'), consumed;
    // 0 when there is none ('**' belongs to a power).
    int product_operator() {
        const Py_UCS4 c = peek();
        if (c == '*' && at(pos_ + 1) != '*') return ++pos_, '*';
        if (c == '/' && at(pos_ + 1) == '/') return pos_ += 2, 'f';
        if (c == '/') return ++pos_, '/';
        if (c == '%') return ++pos_, '%';
        return 0;
    }

    py::object product(int depth) {
        py::object acc = factor(depth);
        for (int op = product_operator(); op; op = product_operator()) acc = apply(op, acc, factor(depth));
        return acc;
    }

    bool sign_run() {
        bool negative = false;
        for (Py_UCS4 c = peek(); c == '+' || c == '-'; c = peek()) {
            if (c == '-') negative = !negative;
            ++pos_;
        }
        return negative;
    }

    // a ** s1 b ** s2 c ... is a ** (s1 (b ** (s2 c))): the operands and the
    // signs before them are collected, then folded from the right.
    py::object factor(int depth) {
        std::vector<std::pair<bool, py::object>> chain;
        bool negative = sign_run();
        for (;;) {
            py::object base = operand(depth);
            chain.emplace_back(negative, std::move(base));
            if (!(peek() == '*' && at(pos_ + 1) == '*')) break;
            pos_ += 2;
            negative = sign_run();
        }
        py::object acc = chain.back().second;
        for (size_t k = chain.size() - 1; k > 0; --k) {
            acc = signed_value(chain[k].first, acc);
            acc = apply('p', chain[k - 1].second, acc);
        }
        return chain.front().first ? signed_value(true, acc) : acc;
    }

    py::object operand(int depth) {
        const Py_UCS4 c = peek();
        if (c == '(') {
            if (depth >= max_nesting) {
                host::raise(PyExc_ValueError, "too many nested parentheses");
            }
            ++pos_;
            py::object inner = sum(depth + 1);
            if (peek() != ')') fail();
            ++pos_;
            return inner;
        }
        return number();
    }

    py::object number() {
        const Py_ssize_t start = pos_;
        const Py_ssize_t n = v_.size();
        Py_ssize_t digits = 0;
        bool real = false;
        while (pos_ < n && is_digit(v_[pos_])) ++pos_, ++digits;
        if (pos_ < n && v_[pos_] == '.') {
            real = true;
            ++pos_;
            while (pos_ < n && is_digit(v_[pos_])) ++pos_, ++digits;
        }
        if (digits == 0) fail();
        if (pos_ < n && (v_[pos_] == 'e' || v_[pos_] == 'E')) {
            real = true;
            ++pos_;
            if (pos_ < n && (v_[pos_] == '+' || v_[pos_] == '-')) ++pos_;
            Py_ssize_t exponent_digits = 0;
            while (pos_ < n && is_digit(v_[pos_])) ++pos_, ++exponent_digits;
            if (exponent_digits == 0) fail();
        }
        // A number runs into a letter, a digit of another script or a point: not a number.
        if (pos_ < n && !is_blank(v_[pos_]) && !is_operator_start(v_[pos_])) fail();
        std::string literal;
        literal.reserve(static_cast<size_t>(pos_ - start));
        for (Py_ssize_t i = start; i < pos_; ++i) literal.push_back(static_cast<char>(v_[i]));
        if (real) {
            // Correctly rounded, as the host reads a float literal; too large reads as inf.
            const double d = PyOS_string_to_double(literal.c_str(), nullptr, nullptr);
            if (d == -1.0) host::check_error();
            return host::steal(PyFloat_FromDouble(d));
        }
        return host::steal(PyLong_FromString(literal.c_str(), nullptr, 10));
    }

    py::handle text_;
    host::StrView v_;
    Py_ssize_t pos_ = 0;
};

}  // namespace

py::object evaluate_arithmetic(py::handle text) {
    if (!PyUnicode_Check(text.ptr())) {
        host::raise_format(PyExc_TypeError, "an arithmetic expression must be text, not %.200s",
                           Py_TYPE(text.ptr())->tp_name);
    }
    return Parser(text).parse();
}

}  // namespace tallowby::engine
