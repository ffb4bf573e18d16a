#include "vba/suggestions.hpp"

#include <string>
#include <vector>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/text.hpp"
#include "vba/identifiers.hpp"
#include "vba/naming_rules.hpp"
#include "vba/naming_text.hpp"
#include "vba/records.hpp"

namespace tallowby::vba {

namespace {

using host::equal;

using host::concat;
using host::from_utf8;

// Where a record kind keeps its name and findings.
struct Fields {
    int name, correct_name, issue;
};
constexpr Fields kVariableFields{VarField::name, VarField::correct_name, VarField::issue_description};
constexpr Fields kTypeFields{TypeField::name, TypeField::correct_name, TypeField::issue_description};

bool has(const py::set& set, py::handle key) {
    const int r = host::check(PySet_Contains(set.ptr(), key.ptr()));
    return r != 0;
}

bool text_with_content(PyObject* v) { return v && PyUnicode_Check(v) && PyUnicode_GET_LENGTH(v) > 0; }

py::str quoted(py::handle name) { return concat({py::str("'"), name, py::str("'")}); }

// One scope's records, all of one kind made by the scan.
class NameScope {
public:
    explicit NameScope(const Fields& f) : f_(f) {}

    void add(py::handle record) {
        if (Py_IS_TYPE(record.ptr(), record_type(RecordKind::Variable)) ||
            Py_IS_TYPE(record.ptr(), record_type(RecordKind::Type)))
            records_.push_back(py::reinterpret_borrow<py::object>(record));
    }

    void settle() {
        if (records_.empty()) return;
        // Suggestions that rename nothing, or that VBA would not take.
        for (py::object& r : records_) {
            PyObject* name = field(r, f_.name);
            PyObject* issue = field(r, f_.issue);
            PyObject* correct = field(r, f_.correct_name);
            if (!name || !PyUnicode_Check(name) || !text_with_content(issue) || !correct || !PyUnicode_Check(correct))
                continue;
            if (equal(correct, name)) continue;  // a finding that is no rename (a reserved name's type)
            py::handle n(name), c(correct);
            if (equal(name_key(c), name_key(n))) {
                set_field(r, f_.correct_name, py::none());
                set_field(r, f_.issue, py::none());
            } else if (!is_vba_identifier(c)) {
                set_field(r, f_.correct_name, py::none());
                set_field(r, f_.issue, concat({from_utf8("名称 "), quoted(n),
                                               from_utf8(" 不符合命名规范，且无法自动生成合法的VBA名称，请手动命名")}));
            }
        }
        // Every name of the scope as it stands is taken, and so is each suggestion given.
        py::set taken;
        for (py::object& r : records_) {
            PyObject* name = field(r, f_.name);
            if (name && PyUnicode_Check(name)) taken.add(name_key(py::handle(name)));
        }
        py::dict given;  // name key -> the suggestion its first record got
        for (py::object& r : records_) {
            PyObject* name = field(r, f_.name);
            PyObject* correct = field(r, f_.correct_name);
            if (!name || !PyUnicode_Check(name) || !text_with_content(field(r, f_.issue)) || !correct ||
                !PyUnicode_Check(correct) || equal(correct, name))
                continue;
            py::str own = name_key(py::handle(name));
            if (PyObject* earlier = PyDict_GetItemWithError(given.ptr(), own.ptr())) {
                // The same name declared again (another branch of conditional
                // compilation) is the same variable: one suggestion.
                if (earlier != Py_None) set_field(r, f_.correct_name, py::handle(earlier));
                continue;
            } else if (PyErr_Occurred()) {
                host::raise_error();
            }
            py::str suggestion = py::reinterpret_borrow<py::str>(correct);
            if (has(taken, name_key(suggestion))) {
                py::object other = distinct(r, suggestion, taken);
                if (other.is_none()) {
                    set_field(r, f_.correct_name, py::none());
                    set_field(r, f_.issue, concat({py::handle(field(r, f_.issue)), from_utf8("（建议名称 "),
                                                   quoted(suggestion),
                                                   from_utf8(" 与同一作用域中的其他名称重复，请手动命名）")}));
                    given[own] = py::none();
                    continue;
                }
                set_field(r, f_.correct_name, other);
                set_field(r, f_.issue, concat({py::handle(field(r, f_.issue)), from_utf8("（"), quoted(suggestion),
                                               from_utf8(" 与同一作用域中的其他名称重复，改为建议 "), quoted(other),
                                               from_utf8("）")}));
                suggestion = py::reinterpret_borrow<py::str>(other);
            }
            taken.add(name_key(suggestion));
            given[own] = suggestion;
        }
    }

private:
    // A suggestion like `suggestion` with a number before its type suffix
    // (or at its end) that the naming rule finds compliant and that no name
    // of the scope holds; None when there is none.
    py::object distinct(py::handle record, const py::str& suggestion, const py::set& taken) {
        const bool variable = Py_IS_TYPE(record.ptr(), record_type(RecordKind::Variable));
        std::optional<vba::Scope> scope;
        std::optional<VarType> type;
        bool is_array = false, is_const = false;
        py::str suffix("");
        if (variable) {
            scope = scope_of(field(record, VarField::scope));
            type = var_type_of(field(record, VarField::var_type));
            is_array = field(record, VarField::is_array) == Py_True;
            is_const = field(record, VarField::is_const) == Py_True;
            suffix = type_suffix(type, is_array);
        }
        const Py_ssize_t n = PyUnicode_GET_LENGTH(suggestion.ptr());
        const Py_ssize_t ns = PyUnicode_GET_LENGTH(suffix.ptr());
        Py_ssize_t cut = n;
        if (ns > 0 && n > ns && equal(host::substr(suggestion, n - ns, n), suffix)) cut = n - ns;
        py::str head = host::substr(suggestion, 0, cut), tail = host::substr(suggestion, cut, n);
        for (int k = 2; k < 100; ++k) {
            py::str candidate = concat({head, py::str(std::to_string(k)), tail});
            if (!is_vba_identifier(candidate) || has(taken, name_key(candidate))) continue;
            if (variable && !variable_verdict(candidate, scope, type, is_array, is_const).issue.is_none()) continue;
            return std::move(candidate);
        }
        return py::none();
    }

    Fields f_;
    std::vector<py::object> records_;
};

template <typename F>
void for_each_list(const py::dict& map, F&& f) {
    for (auto item : map) f(item.second);
}

}  // namespace

void settle_suggestions(ModuleParser& parser) {
    {
        NameScope globals(kVariableFields);
        for (py::handle r : parser.global_variables) globals.add(r);
        globals.settle();
    }
    for (const py::dict* map : {&parser.module_variables, &parser.local_variables}) {
        for_each_list(*map, [](py::handle list) {
            if (!PyList_Check(list.ptr())) return;
            NameScope scope(kVariableFields);
            for (py::handle r : py::reinterpret_borrow<py::list>(list)) scope.add(r);
            scope.settle();
        });
    }
    NameScope definitions(kTypeFields);
    for (auto item : parser.types) definitions.add(item.second);
    for (auto item : parser.enums) definitions.add(item.second);
    definitions.settle();
}

bool differs_only_in_case(const py::str& name, const py::str& suggestion) {
    return !equal(name, suggestion) && equal(name_key(name), name_key(suggestion));
}

}  // namespace tallowby::vba
