#include "engine/arithmetic.hpp"

#include <string>

#include "host/text.hpp"

namespace tallowby::engine {

namespace {

// Parentheses nest at most this deep, as in the host's own parser.
constexpr int max_nesting = 200;

// One operand or result: a host int (exact, any size) or a double.
struct Number {
    py::object whole;  // set for a whole number
    double real = 0.0;

    bool is_whole() const { return static_cast<bool>(whole); }
    double as_double() const {
        if (!is_whole()) return real;
        double d = PyLong_AsDouble(whole.ptr());  // OverflowError for an int too large
        if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        return d;
    }
    static Number of_real(double d) {
        Number n;
        n.real = d;
        return n;
    }
    static Number of_whole(PyObject* owned) {
        if (!owned) throw py::error_already_set();
        Number n;
        n.whole = py::reinterpret_steal<py::object>(owned);
        return n;
    }
};

[[noreturn]] void raise_zero_division() {
    PyErr_SetString(PyExc_ZeroDivisionError, "division by zero");
    throw py::error_already_set();
}

Number apply(char op, const Number& a, const Number& b) {
    if (op == '/') {
        if (a.is_whole() && b.is_whole()) return Number::of_whole(PyNumber_TrueDivide(a.whole.ptr(), b.whole.ptr()));
        const double divisor = b.as_double();
        const double dividend = a.as_double();
        if (divisor == 0.0) raise_zero_division();
        return Number::of_real(dividend / divisor);
    }
    if (a.is_whole() && b.is_whole()) {
        switch (op) {
            case '+': return Number::of_whole(PyNumber_Add(a.whole.ptr(), b.whole.ptr()));
            case '-': return Number::of_whole(PyNumber_Subtract(a.whole.ptr(), b.whole.ptr()));
            default: return Number::of_whole(PyNumber_Multiply(a.whole.ptr(), b.whole.ptr()));
        }
    }
    const double x = a.as_double();
    const double y = b.as_double();
    switch (op) {
        case '+': return Number::of_real(x + y);
        case '-': return Number::of_real(x - y);
        default: return Number::of_real(x * y);
    }
}

Number negate(const Number& a) {
    if (a.is_whole()) return Number::of_whole(PyNumber_Negative(a.whole.ptr()));
    return Number::of_real(-a.real);
}

bool is_blank(Py_UCS4 c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n'; }
bool is_digit(Py_UCS4 c) { return c >= '0' && c <= '9'; }

// Recursive descent over the code points of the text:
//   sum     := product (('+' | '-') product)*
//   product := signed (('*' | '/') signed)*
//   signed  := ('+' | '-')* operand
//   operand := number | '(' sum ')'
class Parser {
public:
    explicit Parser(py::handle text) : text_(text), v_(text) {}

    Number parse() {
        Number result = sum(0);
        skip_blanks();
        if (pos_ != v_.size()) fail();
        return result;
    }

private:
    [[noreturn]] void fail() const {
        PyErr_Format(PyExc_ValueError, "not an arithmetic expression: %R", text_.ptr());
        throw py::error_already_set();
    }

    void skip_blanks() {
        while (pos_ < v_.size() && is_blank(v_[pos_])) ++pos_;
    }

    // The next non-blank code point, or 0 at the end.
    Py_UCS4 peek() {
        skip_blanks();
        return pos_ < v_.size() ? v_[pos_] : 0;
    }

    Number sum(int depth) {
        Number acc = product(depth);
        for (Py_UCS4 c = peek(); c == '+' || c == '-'; c = peek()) {
            ++pos_;
            acc = apply(static_cast<char>(c), acc, product(depth));
        }
        return acc;
    }

    Number product(int depth) {
        Number acc = signed_operand(depth);
        for (Py_UCS4 c = peek(); c == '*' || c == '/'; c = peek()) {
            ++pos_;
            acc = apply(static_cast<char>(c), acc, signed_operand(depth));
        }
        return acc;
    }

    Number signed_operand(int depth) {
        // A run of signs is read in a loop, so a long run needs no stack.
        bool negative = false;
        for (Py_UCS4 c = peek(); c == '+' || c == '-'; c = peek()) {
            if (c == '-') negative = !negative;
            ++pos_;
        }
        Number value = operand(depth);
        return negative ? negate(value) : value;
    }

    Number operand(int depth) {
        const Py_UCS4 c = peek();
        if (c == '(') {
            if (depth >= max_nesting) {
                PyErr_SetString(PyExc_ValueError, "too many nested parentheses");
                throw py::error_already_set();
            }
            ++pos_;
            Number inner = sum(depth + 1);
            if (peek() != ')') fail();
            ++pos_;
            return inner;
        }
        return number();
    }

    Number number() {
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
        if (pos_ < n && !is_blank(v_[pos_]) && v_[pos_] != '+' && v_[pos_] != '-' && v_[pos_] != '*' &&
            v_[pos_] != '/' && v_[pos_] != '(' && v_[pos_] != ')')
            fail();
        std::string literal;
        literal.reserve(static_cast<size_t>(pos_ - start));
        for (Py_ssize_t i = start; i < pos_; ++i) literal.push_back(static_cast<char>(v_[i]));
        if (real) {
            // Correctly rounded, as the host reads a float literal; too large reads as inf.
            const double d = PyOS_string_to_double(literal.c_str(), nullptr, nullptr);
            if (d == -1.0 && PyErr_Occurred()) throw py::error_already_set();
            return Number::of_real(d);
        }
        return Number::of_whole(PyLong_FromString(literal.c_str(), nullptr, 10));
    }

    py::handle text_;
    host::StrView v_;
    Py_ssize_t pos_ = 0;
};

}  // namespace

py::object evaluate_arithmetic(py::handle text) {
    if (!PyUnicode_Check(text.ptr())) {
        PyErr_Format(PyExc_TypeError, "an arithmetic expression must be text, not %.200s", Py_TYPE(text.ptr())->tp_name);
        throw py::error_already_set();
    }
    Number result = Parser(text).parse();
    if (result.is_whole()) return result.whole;
    return py::float_(result.real);
}

}  // namespace tallowby::engine
