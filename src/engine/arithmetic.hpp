// Arithmetic texts as spec values resolve to: decimal numbers ('3', '.5',
// '5.', '1E-3'), binary + - * /, unary + and -, parentheses, blanks.
#pragma once

#include <pybind11/pybind11.h>

namespace tallowby::engine {
namespace py = pybind11;

// The number `text` denotes, computed as the host computes such a text: an
// int when every operand is a whole number and nothing is divided, a float
// otherwise ('3' -> 3, '1/2' -> 0.5, '2*1.5' -> 3.0); division is real
// division. Anything else (a name, an empty text, unbalanced parentheses,
// parentheses nested too deeply) raises ValueError; dividing by zero raises
// ZeroDivisionError.
py::object evaluate_arithmetic(py::handle text);

}  // namespace tallowby::engine
