// Arithmetic texts as spec values resolve to: decimal numbers ('3', '.5',
// '5.', '1E-3'), binary + - * / // % **, unary + and -, parentheses, blanks.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// The number `text` denotes, computed exactly as the host computes such a
// text: every operation is the host's own on its ints and floats, with the
// host's precedence ('**' binds tighter than a sign on its left and groups
// from the right), so '3' -> 3, '1/2' -> 0.5, '1/2+0.5' -> 1.0, '7//2' -> 3,
// '-2**2' -> -4, '2**-1' -> 0.5. Anything else (a name, an empty text,
// unbalanced parentheses, parentheses nested too deeply) raises ValueError;
// the host's own failures (division by zero, a float too large) are raised
// as the host raises them; a product or power of whole numbers beyond a
// million bits raises OverflowError instead of taking minutes.
py::object evaluate_arithmetic(py::handle text);

}  // namespace tallowby::engine
