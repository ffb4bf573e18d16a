#include "engine/spec_expression.hpp"

#include <vector>

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "engine/state.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

// A value that refers back to itself never resolves: stop at this depth.
constexpr int max_resolution_depth = 64;
// Values that fan out into many variables at every level grow the text
// exponentially: no resolved text may be longer than this.
constexpr Py_ssize_t max_resolved_length = 1 << 20;

py::object item(py::handle map, py::handle key) {
    return host::steal(PyObject_GetItem(map.ptr(), key.ptr()));
}

py::str replaced(py::handle text, py::handle old_text, py::handle new_text, Py_ssize_t count) {
    return host::steal<py::str>(PyUnicode_Replace(text.ptr(), old_text.ptr(), new_text.ptr(), count));
}

py::str text_or_raise(const py::object& value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        host::raise_format(PyExc_TypeError, "%s must be text, not %.200s", what, Py_TYPE(value.ptr())->tp_name);
    }
    return py::reinterpret_borrow<py::str>(value);
}

bool is_operator(Py_UCS4 c) { return c == '+' || c == '-' || c == '*' || c == '/' || c == '(' || c == ')'; }
bool is_blank(Py_UCS4 c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n'; }
bool is_digit(Py_UCS4 c) { return c >= '0' && c <= '9'; }

// Whether `text` is one decimal number ('3', ' 0.9 ', '.5', '1E-3'), which
// needs no parentheses wherever it is put; a sign makes it an expression.
bool is_single_number(const py::str& text) {
    host::StrView v(text);
    Py_ssize_t i = 0, n = v.size(), digits = 0;
    while (i < n && is_blank(v[i])) ++i;
    while (i < n && is_digit(v[i])) ++i, ++digits;
    if (i < n && v[i] == '.') {
        ++i;
        while (i < n && is_digit(v[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (v[i] == 'e' || v[i] == 'E')) {
        ++i;
        if (i < n && (v[i] == '+' || v[i] == '-')) ++i;
        Py_ssize_t exponent_digits = 0;
        while (i < n && is_digit(v[i])) ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    while (i < n && is_blank(v[i])) ++i;
    return i == n;
}

// The spec variable an operand names: its first "_" and every blank removed.
py::str variable_name(const py::str& token) {
    static const py::str underscore("_"), blank(" "), nothing("");
    return replaced(replaced(token, underscore, nothing, 1), blank, nothing, -1);
}

// The resolved text, built from its pieces once their total length is known
// to stay within bounds.
class Pieces {
public:
    void add(const py::str& piece) {
        length_ += PyUnicode_GET_LENGTH(piece.ptr());
        if (length_ > max_resolved_length) {
            host::raise_format(PyExc_RecursionError,
                               "spec expression does not resolve: its values expand to more than %zd characters",
                               max_resolved_length);
        }
        host::check(PyList_Append(list_.ptr(), piece.ptr()));
    }
    py::str joined() const {
        return host::steal<py::str>(PyUnicode_Join(py::str("").ptr(), list_.ptr()));
    }

private:
    py::list list_;
    Py_ssize_t length_ = 0;
};

class Resolver {
public:
    Resolver(py::handle engine, py::handle spec_dict, py::handle category, py::handle selector)
        : engine_(engine), spec_dict_(spec_dict), category_(category), selector_(selector) {}

    // `target` with every "=" removed and each spec variable replaced, in
    // place, by its resolved value: in parentheses unless the value is a
    // single number or stands alone. The work is linear in the resolved
    // text: a value text met again in this resolution is taken from the
    // cache.
    py::str resolve(py::handle target, int depth) {
        static const py::str equals_sign("="), nothing(""), open("("), close(")");
        py::object owned = py::reinterpret_borrow<py::object>(target);
        const py::str text = replaced(text_or_raise(owned, "a spec expression"), equals_sign, nothing, -1);

        // Operands between the operator characters (blanks kept, empty ones
        // too) and the operators in order: one operand more than operators.
        std::vector<py::str> tokens;
        std::vector<py::str> operators;
        {
            host::StrView v(text);
            Py_ssize_t start = 0;
            for (Py_ssize_t i = 0; i < v.size(); ++i) {
                if (!is_operator(v[i])) continue;
                tokens.push_back(host::substr(text, start, i));
                operators.push_back(host::substr(text, i, i + 1));
                start = i + 1;
            }
            tokens.push_back(host::substr(text, start, v.size()));
        }

        py::object selector_type;  // the last one found in this text
        const bool alone = operators.empty();
        Pieces pieces;
        for (size_t i = 0; i < tokens.size(); ++i) {
            if (i > 0) pieces.add(operators[i - 1]);
            const py::str& token = tokens[i];
            if (host::StrView(token).find('_') < 0) {
                pieces.add(token);
                continue;
            }
            const py::str name = variable_name(token);
            if (depth >= max_resolution_depth) {
                host::raise_format(
                    PyExc_RecursionError,
                    "spec variable %R does not resolve: its values refer back to it (deeper than %d levels)",
                    name.ptr(), max_resolution_depth);
            }
            const py::str value = resolved_value(value_of(name, selector_type), depth + 1);
            if (alone || is_single_number(value)) {
                pieces.add(value);
            } else {
                pieces.add(open);
                pieces.add(value);
                pieces.add(close);
            }
        }
        return pieces.joined();
    }

private:
    // The value text of one variable: the global spec of that name, else the
    // spec map's entry for the category and the variable's selector type.
    py::object value_of(const py::str& name, py::object& selector_type) {
        if (!glob_) glob_ = state(engine_).glob_spec_dict();
        const bool in_glob = host::holds(glob_, name);
        if (in_glob) return item(glob_, name);

        const py::str upper_name = host::upper(name);
        if (version_3_ < 0) {
            version_3_ = host::equal(py::object(state(engine_).spec_version()), py::str("3.0"));
        }
        if (version_3_) {
            try {
                const py::object selector = py::reinterpret_borrow<py::object>(selector_);
                const py::str key = concat(py::str("SELECTORS "), host::upper(text_or_raise(selector, "a selector name")));
                selector_type = item(item(spec_dict_, upper_name), key);
            } catch (py::error_already_set& e) {
                if (!e.matches(PyExc_Exception)) throw;
                put_log(engine_, concat(py::str("Error: Can not parse spec variable: "), name));
                if (!selector_type) {
                    host::raise_format(PyExc_ValueError, "Can not parse spec variable: %U", name.ptr());
                }
            }
        } else {
            selector_type = item(item(spec_dict_, upper_name), py::str("SELECTOR VAL"));
        }
        const py::object category = py::reinterpret_borrow<py::object>(category_);
        const py::str key =
            concat(concat(host::upper(text_or_raise(category, "a category name")), py::str(" ")), selector_type);
        return item(item(spec_dict_, name), key);
    }

    // A value text resolves the same wherever it is met: once per resolution.
    py::str resolved_value(const py::object& value_text, int depth) {
        PyObject* known = PyUnicode_CheckExact(value_text.ptr()) ? PyDict_GetItemWithError(cache_.ptr(), value_text.ptr())
                                                                  : nullptr;
        if (known) return py::reinterpret_borrow<py::str>(known);
        host::check_error();
        py::str value = resolve(value_text, depth);
        if (PyUnicode_CheckExact(value_text.ptr()) && PyDict_SetItem(cache_.ptr(), value_text.ptr(), value.ptr()) < 0)
            host::raise_error();
        return value;
    }

    py::handle engine_, spec_dict_, category_, selector_;
    py::object glob_;
    py::dict cache_;  // value text -> resolved text
    int version_3_ = -1;  // whether spec_version is "3.0", once read
};

}  // namespace

py::str resolve_spec_variables(py::handle engine, py::handle target, py::handle spec_dict, py::handle category_name,
                               py::handle selector_name) {
    return Resolver(engine, spec_dict, category_name, selector_name).resolve(target, 0);
}

py::object with_unit(py::handle val) {
    static const struct {
        double threshold;
        const char* letter;
    } units[] = {{1e9, "G"}, {1e6, "M"}, {1e3, "K"}, {0.001, "m"}, {0.000001, "u"}, {0.000000001, "n"},
                 {0.000000000001, "p"}};
    for (const auto& u : units) {
        const py::float_ threshold(u.threshold);
        const int reached = host::check(PyObject_RichCompareBool(val.ptr(), threshold.ptr(), Py_GE));
        if (!reached) continue;
        const double scaled = py::float_(py::reinterpret_borrow<py::object>(val)).cast<double>() / u.threshold;
        char* digits = host::check(PyOS_double_to_string(scaled, 'f', 3, 0, nullptr));
        std::string text(digits);
        PyMem_Free(digits);
        return py::str(text + u.letter);
    }
    return py::none();
}

double round_to_5_places(double x) {
    char* digits = host::check(PyOS_double_to_string(x, 'f', 5, 0, nullptr));
    const double r = PyOS_string_to_double(digits, nullptr, nullptr);
    PyMem_Free(digits);
    if (r == -1.0) host::check_error();
    return r;
}

py::str float_repr(double x) {
    char* digits = host::check(PyOS_double_to_string(x, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr));
    py::str text(digits);
    PyMem_Free(digits);
    return text;
}

}  // namespace tallowby::engine
