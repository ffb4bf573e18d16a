#include "vba/model.hpp"

#include <array>
#include <utility>

namespace tallowby::vba {

namespace {

struct Enums {
    PyObject* scope_class = nullptr;
    PyObject* type_class = nullptr;
    PyObject* func_class = nullptr;
    std::array<PyObject*, kScopeCount> scopes{};
    std::array<PyObject*, kVarTypeCount> types{};
    std::array<PyObject*, kFuncTypeCount> funcs{};
};

Enums& enums() {
    static Enums e;
    return e;
}

template <size_t N>
PyObject* make_enum(py::module_& m, const char* name, const char* doc,
                    const std::array<std::pair<const char*, const char*>, N>& members,
                    std::array<PyObject*, N>& out) {
    py::object enum_class = py::module_::import("enum").attr("Enum");
    py::list pairs;
    for (const auto& [member_name, value] : members) pairs.append(py::make_tuple(member_name, value));
    py::object cls = enum_class(name, pairs, py::arg("module") = m.attr("__name__"), py::arg("qualname") = name);
    cls.attr("__doc__") = py::str(doc);
    for (size_t i = 0; i < N; ++i) out[i] = py::object(cls.attr(members[i].first)).release().ptr();
    m.attr(name) = cls;
    return cls.release().ptr();
}

template <typename E, size_t N>
std::optional<E> lookup(py::handle member, const std::array<PyObject*, N>& table) {
    for (size_t i = 0; i < N; ++i)
        if (table[i] == member.ptr()) return static_cast<E>(i);
    return std::nullopt;
}

}  // namespace

void register_enums(py::module_& m) {
    Enums& e = enums();
    e.scope_class = make_enum<kScopeCount>(m, "VariableScope", "变量作用域枚举",
                                           {{{"LOCAL", "local"},
                                             {"MODULE_PRIVATE", "module_private"},
                                             {"GLOBAL", "global"},
                                             {"CLASS_PRIVATE", "class_private"},
                                             {"CLASS_PUBLIC", "class_public"},
                                             {"CLASS_EXTERNAL", "class_external"}}},
                                           e.scopes);
    e.type_class = make_enum<kVarTypeCount>(m, "VariableType", "变量类型枚举",
                                            {{{"INTEGER", "Integer"},
                                              {"LONG", "Long"},
                                              {"SINGLE", "Single"},
                                              {"DOUBLE", "Double"},
                                              {"STRING", "String"},
                                              {"BOOLEAN", "Boolean"},
                                              {"VARIANT", "Variant"},
                                              {"SITELONG", "SiteLong"},
                                              {"SITEDOUBLE", "SiteDouble"},
                                              {"SITEBOOLEAN", "SiteBoolean"},
                                              {"DSPWAVE", "DspWave"},
                                              {"ENUM", "Enum"},
                                              {"TYPE", "Type"},
                                              {"PINDATA", "PinData"},
                                              {"PINLISTDATA", "PinListData"},
                                              {"CSL", "CSL"},
                                              {"USERCLASS", "UserClass"},
                                              {"PINLIST", "PinList"},
                                              {"PATTERN", "Pattern"}}},
                                            e.types);
    e.func_class = make_enum<kFuncTypeCount>(m, "FunctionType", "函数类型枚举",
                                             {{{"VBT", "VBT"}, {"DSP", "DSP"}, {"IP", "IP"}, {"OTHER", "OTHER"}}},
                                             e.funcs);
}

py::handle member(Scope s) { return enums().scopes[static_cast<size_t>(s)]; }
py::handle member(VarType t) { return enums().types[static_cast<size_t>(t)]; }
py::handle member(FuncType f) { return enums().funcs[static_cast<size_t>(f)]; }

std::optional<Scope> scope_of(py::handle m) { return lookup<Scope>(m, enums().scopes); }
std::optional<VarType> var_type_of(py::handle m) { return lookup<VarType>(m, enums().types); }
std::optional<FuncType> func_type_of(py::handle m) { return lookup<FuncType>(m, enums().funcs); }

bool is_enum_member(PyObject* obj) {
    const Enums& e = enums();
    const PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(obj));
    return type == e.scope_class || type == e.type_class || type == e.func_class;
}

py::handle scope_class() { return enums().scope_class; }
py::handle var_type_class() { return enums().type_class; }
py::handle func_type_class() { return enums().func_class; }

}  // namespace tallowby::vba
