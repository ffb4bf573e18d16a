// VBTNamingRules: the class-level tables and rules of the VBT naming standard.
#include "vba/naming_rules.hpp"

#include "host/args.hpp"
#include "host/objects.hpp"
#include "vba/naming_text.hpp"

namespace tallowby::vba {

namespace {

using host::arg_str;
using host::Signature;

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
    cls.def(py::init([](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules.__init__", {});
        sig.bind_none(args, kwargs);
        return new NamingRules();
    }));

    cls.attr("RESERVED_VARS") = reserved_vars();
    cls.attr("TYPE_SUFFIXES") = type_suffixes();
    cls.attr("SCOPE_PREFIXES") = scope_prefixes();

    cls.def_static("get_correct_variable_name", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules.get_correct_variable_name", {"var_info"}, false);
        auto a = sig.bind(args, kwargs);
        return variable_pair(a[0], false);
    });
    cls.def_static("_get_correct_constant_name", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules._get_correct_constant_name", {"var_info"}, false);
        auto a = sig.bind(args, kwargs);
        return variable_pair(a[0], true);
    });
    cls.def_static("_get_type_suffix", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules._get_type_suffix", {"var_type", "is_array"}, false);
        auto a = sig.bind(args, kwargs);
        return type_suffix(var_type_of(a[0]), host::truthy(a[1]));
    });
    cls.def_static("_is_camel_style", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules._is_camel_style", {"name"}, false);
        auto a = sig.bind(args, kwargs);
        return is_camel_style(arg_str(a[0], "name"));
    });
    cls.def_static("_to_camel_style", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules._to_camel_style", {"name"}, false);
        auto a = sig.bind(args, kwargs);
        return to_camel_style(arg_str(a[0], "name"));
    });
    cls.def_static("_camel_to_snake_case", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules._camel_to_snake_case", {"camel_str"}, false);
        auto a = sig.bind(args, kwargs);
        return camel_to_snake_case(arg_str(a[0], "camel_str"));
    });
    cls.def_static("check_function_parameter", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("VBTNamingRules.check_function_parameter",
                                   {"param_name", "param_type", "byval_byref", "func_type"}, false);
        auto a = sig.bind(args, kwargs);
        py::str name = arg_str(a[0], "param_name");
        arg_str(a[1], "param_type");
        py::str byval_byref = arg_str(a[2], "byval_byref");
        return as_pair(parameter_verdict(name, byval_byref, func_type_of(a[3])));
    });
}

}  // namespace tallowby::vba
