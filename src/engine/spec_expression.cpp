#include "engine/spec_expression.hpp"

#include <vector>

#include "engine/engine.hpp"
#include "engine/job_sheet.hpp"
#include "host/text.hpp"

namespace tallowby::engine {

namespace {

// A value that refers back to itself never resolves: stop at this depth.
constexpr int max_resolution_depth = 64;
// Values that fan out into many variables at every level grow the text
// exponentially: stop after this many variables in one resolution.
constexpr long max_variables = 100000;

py::object item(py::handle map, py::handle key) {
    PyObject* v = PyObject_GetItem(map.ptr(), key.ptr());
    if (!v) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(v);
}

py::str replaced(py::handle text, py::handle old_text, py::handle new_text, Py_ssize_t count) {
    PyObject* r = PyUnicode_Replace(text.ptr(), old_text.ptr(), new_text.ptr(), count);
    if (!r) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(r);
}

py::str text_or_raise(const py::object& value, const char* what) {
    if (!PyUnicode_Check(value.ptr())) {
        PyErr_Format(PyExc_TypeError, "%s must be text, not %.200s", what, Py_TYPE(value.ptr())->tp_name);
        throw py::error_already_set();
    }
    return py::reinterpret_borrow<py::str>(value);
}

bool is_operator(Py_UCS4 c) { return c == '+' || c == '-' || c == '*' || c == '/' || c == '(' || c == ')'; }

// The spec variable an operand names: its first "_" and every blank removed.
py::str variable_name(const py::str& token) {
    static const py::str underscore("_"), blank(" "), nothing("");
    return replaced(replaced(token, underscore, nothing, 1), blank, nothing, -1);
}

class Resolver {
public:
    Resolver(py::handle engine, py::handle spec_dict, py::handle category, py::handle selector)
        : engine_(engine), spec_dict_(spec_dict), category_(category), selector_(selector) {}

    py::str resolve(py::handle target, int depth) {
        static const py::str equals_sign("="), nothing("");
        py::object owned = py::reinterpret_borrow<py::object>(target);
        py::str text = replaced(text_or_raise(owned, "a spec expression"), equals_sign, nothing, -1);

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
        const size_t n_ops = operators.size();
        for (size_t i = 0; i < tokens.size(); ++i) {
            const py::str& token = tokens[i];
            if (host::StrView(token).find('_') < 0) continue;
            const py::str name = variable_name(token);
            if (++variables_ > max_variables) {
                PyErr_Format(PyExc_RecursionError, "spec variable %R: its values expand to too many variables",
                             name.ptr());
                throw py::error_already_set();
            }
            if (depth >= max_resolution_depth) {
                PyErr_Format(PyExc_RecursionError,
                             "spec variable %R does not resolve: its values refer back to it (deeper than %d levels)",
                             name.ptr(), max_resolution_depth);
                throw py::error_already_set();
            }
            const py::str value = resolve(value_of(name, selector_type), depth + 1);
            if (n_ops == 0) {
                text = replaced(text, token, value, -1);
            } else if (i == n_ops) {
                text = replaced(text, concat(operators[i - 1], token), concat(operators[i - 1], value), -1);
            } else if (i == 0) {
                text = replaced(text, concat(token, operators[0]), concat(value, operators[0]), 1);
            } else {
                text = replaced(text, concat(concat(operators[i - 1], token), operators[i]),
                                concat(concat(operators[i - 1], value), operators[i]), -1);
            }
        }
        return text;
    }

private:
    // The value text of one variable: the global spec of that name, else the
    // spec map's entry for the category and the variable's selector type.
    py::object value_of(const py::str& name, py::object& selector_type) {
        if (!glob_) glob_ = engine_.attr("glob_spec_dict");
        const int in_glob = PySequence_Contains(glob_.ptr(), name.ptr());
        if (in_glob < 0) throw py::error_already_set();
        if (in_glob) return item(glob_, name);

        const py::str upper_name = host::upper(name);
        if (version_3_ < 0) {
            const int eq = PyObject_RichCompareBool(engine_.attr("spec_version").ptr(), py::str("3.0").ptr(), Py_EQ);
            if (eq < 0) throw py::error_already_set();
            version_3_ = eq;
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
                    PyErr_Format(PyExc_ValueError, "Can not parse spec variable: %U", name.ptr());
                    throw py::error_already_set();
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

    py::handle engine_, spec_dict_, category_, selector_;
    py::object glob_;
    int version_3_ = -1;  // whether spec_version is "3.0", once read
    long variables_ = 0;
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
        const int reached = PyObject_RichCompareBool(val.ptr(), threshold.ptr(), Py_GE);
        if (reached < 0) throw py::error_already_set();
        if (!reached) continue;
        const double scaled = py::float_(py::reinterpret_borrow<py::object>(val)).cast<double>() / u.threshold;
        char* digits = PyOS_double_to_string(scaled, 'f', 3, 0, nullptr);
        if (!digits) throw py::error_already_set();
        std::string text(digits);
        PyMem_Free(digits);
        return py::str(text + u.letter);
    }
    return py::none();
}

double round_to_5_places(double x) {
    char* digits = PyOS_double_to_string(x, 'f', 5, 0, nullptr);
    if (!digits) throw py::error_already_set();
    const double r = PyOS_string_to_double(digits, nullptr, nullptr);
    PyMem_Free(digits);
    if (r == -1.0 && PyErr_Occurred()) throw py::error_already_set();
    return r;
}

py::str float_repr(double x) {
    char* digits = PyOS_double_to_string(x, 'r', 0, Py_DTSF_ADD_DOT_0, nullptr);
    if (!digits) throw py::error_already_set();
    py::str text(digits);
    PyMem_Free(digits);
    return text;
}

}  // namespace tallowby::engine
