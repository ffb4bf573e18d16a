#include "vba/parameter_check.hpp"

#include <pybind11/eval.h>

#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"
#include "vba/naming_rules.hpp"
#include "vba/identifiers.hpp"
#include "vba/records.hpp"
#include "vba/suggestions.hpp"

namespace tallowby::vba {

namespace {

using host::truthy;

// `name, type, mode = entry`, with the host's own failures for an entry that
// is not a sequence of three.
void unpack_parameter(py::handle entry, py::object& name, py::object& type, py::object& mode) {
    if (PyTuple_CheckExact(entry.ptr()) && PyTuple_GET_SIZE(entry.ptr()) == 3) {
        name = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(entry.ptr(), 0));
        type = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(entry.ptr(), 1));
        mode = py::reinterpret_borrow<py::object>(PyTuple_GET_ITEM(entry.ptr(), 2));
        return;
    }
    static PyObject* unpack = [] {
        py::dict ns;
        py::exec("def unpack_parameter(entry):\n    name, type, mode = entry\n    return name, type, mode\n", ns);
        return py::object(ns["unpack_parameter"]).release().ptr();
    }();
    py::tuple t = py::reinterpret_borrow<py::object>(unpack)(entry);
    name = t[0];
    type = t[1];
    mode = t[2];
}

using host::concat;

}  // namespace

void check_function_parameters(ModuleParser& parser) {
    static const py::str* open = new py::str(host::from_utf8("参数 '"));
    static const py::str* colon = new py::str(host::from_utf8("': "));
    static const py::str* hint_open = new py::str(host::from_utf8(" (建议改为: '"));
    static const py::str* hint_close = new py::str(host::from_utf8("')"));
    static const py::str* no_name = new py::str(host::from_utf8("（无法自动生成合法的VBA名称，请手动命名）"));

    for (auto item : parser.functions) {
        py::handle info = item.second;
        py::object parameters = attr_of(info, RecordKind::Function, FuncField::parameters, "parameters");
        if (!truthy(parameters)) continue;
        for (py::handle entry : py::iter(parameters)) {
            py::object name, type, mode;
            unpack_parameter(entry, name, type, mode);
            py::object func_type = attr_of(info, RecordKind::Function, FuncField::func_type, "func_type");
            py::str param_name = host::arg_str(name, "param_name");
            host::arg_str(type, "param_type");
            py::str byval_byref = host::arg_str(mode, "byval_byref");
            NameVerdict verdict = parameter_verdict(param_name, byval_byref, func_type_of(func_type));
            if (verdict.issue.is_none() || !truthy(verdict.issue)) continue;
            // A suggestion in other letter case renames nothing.
            if (differs_only_in_case(param_name, verdict.name)) continue;

            py::object text = concat(concat(concat(*open, param_name), *colon), verdict.issue);
            const bool same = host::equal(verdict.name, param_name);
            if (!same) {
                if (is_vba_identifier(verdict.name)) {
                    text = concat(concat(concat(text, *hint_open), verdict.name), *hint_close);
                } else {
                    text = concat(text, *no_name);
                }
            }

            py::object issues = attr_of(info, RecordKind::Function, FuncField::issues, "issues");
            if (PyList_CheckExact(issues.ptr())) {
                host::check(PyList_Append(issues.ptr(), text.ptr()));
            } else {
                issues.attr("append")(text);
            }
        }
    }
}

py::dict get_all_variable_issues(ModuleParser& parser) {
    py::list globals, modules, locals, type_defs, enum_defs;
    py::dict all;
    all["global_variables"] = globals;
    all["module_variables"] = modules;
    all["local_variables"] = locals;
    all["type_definitions"] = type_defs;
    all["enum_definitions"] = enum_defs;

    auto take = [](py::list& into, RecordKind kind, int index) {
        return [&into, kind, index](py::handle record) {
            if (truthy(attr_of(record, kind, index, "issue_description"))) into.append(record);
        };
    };
    auto variables = take(globals, RecordKind::Variable, VarField::issue_description);
    for (py::handle v : parser.global_variables) variables(v);
    auto module_level = take(modules, RecordKind::Variable, VarField::issue_description);
    for (auto item : parser.module_variables)
        for (py::handle v : py::iter(py::reinterpret_borrow<py::object>(item.second))) module_level(v);
    auto local = take(locals, RecordKind::Variable, VarField::issue_description);
    for (auto item : parser.local_variables)
        for (py::handle v : py::iter(py::reinterpret_borrow<py::object>(item.second))) local(v);
    auto type_level = take(type_defs, RecordKind::Type, TypeField::issue_description);
    for (auto item : parser.types) type_level(item.second);
    auto enum_level = take(enum_defs, RecordKind::Type, TypeField::issue_description);
    for (auto item : parser.enums) enum_level(item.second);
    return all;
}

}  // namespace tallowby::vba
