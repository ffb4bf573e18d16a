// Spec expressions: the spec variables of a level, clamp, period or clock
// text replaced by their values, and the numbers shown for them.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// `target` with every "=" removed and every spec variable (an operand that
// holds "_") replaced by its value, itself resolved first: the engine's
// glob_spec_dict entry of the variable, else the entry of `spec_dict` under
// category + " " + the variable's selector type. A value that is not a
// single number goes in parentheses ('1+2' into '_A*2' gives '(1+2)*2'),
// unless it makes up the whole text. Failed look-ups raise; a missing
// selector type in a "3.0" spec map is logged on the engine and the
// selector type of an earlier variable of the same text is used. Each value
// text is resolved once per call. Values that refer back to themselves, or
// that expand to a text of more than 1,048,576 characters, raise
// RecursionError.
py::str resolve_spec_variables(py::handle engine, py::handle target, py::handle spec_dict, py::handle category_name,
                               py::handle selector_name);

// `val` scaled to the first unit of G, M, K, m, u, n, p whose threshold it
// reaches, with three decimals ("25.000n"); None below 1e-12 (zero,
// negative, NaN). A value that does not compare with a number raises.
py::object with_unit(py::handle val);

// round(x, 5) of the host: correctly rounded from the exact value of x,
// exact ties to even.
double round_to_5_places(double x);

// repr(x) of the host: the shortest text that reads back as x ('1.8',
// '0.0', '-0.0', '1e-05', '1e+16').
py::str float_repr(double x);

}  // namespace tallowby::engine
