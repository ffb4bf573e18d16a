// VBTNamingRules: the class-level tables and rules of the VBT naming standard.
#include "vba/naming_rules.hpp"

#include "host/args.hpp"
#include "host/bind.hpp"
#include "host/objects.hpp"
#include "vba/naming_text.hpp"

namespace tallowby::vba {

namespace {

// Never instantiated by the tools; an empty object like any plain class gives.
struct NamingRules {};

py::str record_name(py::handle record) {
    py::object name = record.attr("name");
    if (!PyUnicode_Check(name.ptr())) host::raise_incorrect_type(name, "name", "str");
    return py::reinterpret_borrow<py::str>(name);
}

py::tuple as_pair(const NameVerdict& v) { return py::make_tuple(v.name, v.issue); }

py::tuple variable_pair(py::handle record, bool constant) {
    const bool is_const = constant || host::truthy(record.attr("is_const"));
    py::str name = record_name(record);
    auto scope = scope_of(record.attr("scope"));
    auto type = var_type_of(record.attr("var_type"));
    const bool is_array = host::truthy(record.attr("is_array"));
    return as_pair(variable_verdict(name, scope, type, is_array, is_const));
}

py::set reserved_vars() {
    py::set s;
    for (const char* v : {"i", "j", "k", "m", "n", "site"}) s.add(py::str(v));
    return s;
}

py::dict type_suffixes() {
    // Table order: the order in which suffixes are stripped.
    static const VarType order[] = {VarType::Integer,     VarType::Long,       VarType::Single,
                                    VarType::Double,      VarType::String,     VarType::Boolean,
                                    VarType::Variant,     VarType::SiteLong,   VarType::SiteDouble,
                                    VarType::SiteBoolean, VarType::DspWave,    VarType::Enum,
                                    VarType::Type,        VarType::PinData,    VarType::PinListData,
                                    VarType::CSL,         VarType::Pattern};
    py::dict d;
    for (VarType t : order) {
        py::str scalar = type_suffix(t, false);
        py::str array = type_suffix(t, true);
        if (array.equal(scalar))
            d[member(t)] = py::make_tuple(scalar);
        else
            d[member(t)] = py::make_tuple(scalar, array);
    }
    return d;
}

py::dict scope_prefixes() {
    static const std::pair<Scope, const char*> entries[] = {
        {Scope::Local, "i_"},         {Scope::ModulePrivate, "m_"}, {Scope::Global, "g_"},
        {Scope::ClassPrivate, "i_"},  {Scope::ClassPublic, "m_"},   {Scope::ClassExternal, "v_"}};
    py::dict d;
    for (const auto& [scope, prefix] : entries) d[member(scope)] = py::str(prefix);
    return d;
}

}  // namespace

void register_naming_rules(py::module_& m) {
    py::class_<NamingRules> cls(m, "VBTNamingRules", py::dynamic_attr());
    host::constructor<NamingRules>(cls);

    cls.attr("RESERVED_VARS") = reserved_vars();
    cls.attr("TYPE_SUFFIXES") = type_suffixes();
    cls.attr("SCOPE_PREFIXES") = scope_prefixes();

    host::static_method(cls, "get_correct_variable_name", {"var_info"},
                        [](py::object record) { return variable_pair(record, false); });
    host::static_method(cls, "_get_correct_constant_name", {"var_info"},
                        [](py::object record) { return variable_pair(record, true); });
    host::static_method(cls, "_get_type_suffix", {"var_type", "is_array"}, [](py::object type, py::object is_array) {
        return type_suffix(var_type_of(type), host::truthy(is_array));
    });
    host::static_method(cls, "_is_camel_style", {"name"}, [](py::str name) { return is_camel_style(name); });
    host::static_method(cls, "_to_camel_style", {"name"}, [](py::str name) { return to_camel_style(name); });
    host::static_method(cls, "_camel_to_snake_case", {"camel_str"},
                        [](py::str camel) { return camel_to_snake_case(camel); });
    // The parameter's type is checked but plays no part in the verdict.
    host::static_method(cls, "check_function_parameter", {"param_name", "param_type", "byval_byref", "func_type"},
                        [](py::str name, py::str, py::str byval_byref, py::object func_type) {
                            return as_pair(parameter_verdict(name, byval_byref, func_type_of(func_type)));
                        });
}

}  // namespace tallowby::vba
