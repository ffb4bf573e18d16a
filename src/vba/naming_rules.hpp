// The VBT naming rules: for a declared name, the name the coding standard
// expects and the issue text reported when the given name differs.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

#include "vba/model.hpp"

namespace tallowby::vba {
namespace py = pybind11;

// (suggested name, issue text or None); a compliant name gives (name, None).
struct NameVerdict {
    py::str name;
    py::object issue;  // None or str
};

// The variable rule (constants included, when is_const). An empty scope or
// type stands for a value the rule tables have no entry for.
NameVerdict variable_verdict(const py::str& name, std::optional<Scope> scope, std::optional<VarType> type,
                             bool is_array, bool is_const);

// The parameter rule for one parameter of a procedure of the given kind
// (empty: a kind that is none of the four).
NameVerdict parameter_verdict(const py::str& param_name, const py::str& byval_byref, std::optional<FuncType> kind);

// Defines the class VBTNamingRules (class-level tables and rules) on `m`;
// needs register_enums to have run.
void register_naming_rules(py::module_& m);

}  // namespace tallowby::vba
