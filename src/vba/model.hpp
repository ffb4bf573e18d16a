// The VBA code model's enumerations, on the C++ side and as the host
// enumeration classes that the quillon module exports.
#pragma once

#include <pybind11/pybind11.h>

#include <optional>

namespace tallowby::vba {
namespace py = pybind11;

// In member order of the host enumerations.
enum class Scope { Local, ModulePrivate, Global, ClassPrivate, ClassPublic, ClassExternal };
enum class VarType {
    Integer, Long, Single, Double, String, Boolean, Variant, SiteLong, SiteDouble, SiteBoolean,
    DspWave, Enum, Type, PinData, PinListData, CSL, UserClass, PinList, Pattern
};
enum class FuncType { VBT, DSP, IP, OTHER };

constexpr int kScopeCount = 6;
constexpr int kVarTypeCount = 19;
constexpr int kFuncTypeCount = 4;

// Defines VariableScope, VariableType and FunctionType on `m` (host enum.Enum
// classes with their description texts). Must run before anything below is
// used; the members live for the whole process.
void register_enums(py::module_& m);

// The host member for a C++ value (borrowed; alive for the process).
py::handle member(Scope s);
py::handle member(VarType t);
py::handle member(FuncType f);

// The C++ value of a host member, by identity; empty for anything else.
std::optional<Scope> scope_of(py::handle member);
std::optional<VarType> var_type_of(py::handle member);
std::optional<FuncType> func_type_of(py::handle member);

// Whether `obj` is a member of one of the three enumerations. Members live
// as long as their classes, so a record that holds one cannot be part of a
// cycle through it.
bool is_enum_member(PyObject* obj);

// The host enumeration classes.
py::handle scope_class();
py::handle var_type_class();
py::handle func_type_class();

}  // namespace tallowby::vba
