#include "vba/records.hpp"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/text.hpp"
#include "vba/model.hpp"

namespace tallowby::vba {

namespace {

using host::Signature;

struct FieldDef {
    int index;
    const char* name;
};

struct KindDef {
    const char* name;
    const char* doc;
    std::vector<FieldDef> fields;
    PyTypeObject* type = nullptr;
    std::vector<PyGetSetDef> getset;
    std::string dotted_name;  // the spec name must outlive the type on some host versions
};

std::array<KindDef, 4>& kinds() {
    static std::array<KindDef, 4> k{{
        {"VariableInfo", "变量信息",
         {{0, "name"}, {1, "original_name"}, {2, "scope"}, {3, "var_type"}, {4, "is_array"}, {5, "file_path"},
          {6, "line_number"}, {7, "function_name"}, {8, "is_const"}, {9, "correct_name"},
          {10, "issue_description"}}},
        {"FunctionInfo", "函数信息",
         {{0, "name"}, {1, "original_name"}, {2, "func_type"}, {3, "file_path"}, {4, "start_line"},
          {5, "end_line"}, {6, "parameters"}, {7, "issues"}}},
        {"TypeInfo", "Type/Enum信息",
         {{0, "name"}, {1, "original_name"}, {2, "info_type"}, {3, "file_path"}, {4, "line_number"},
          {5, "scope"}, {6, "correct_name"}, {7, "issue_description"}, {8, "reference_count"},
          {9, "referenced_files"}}},
        {"VariableReference", "变量引用信息",
         {{0, "var_name"}, {1, "file_path"}, {2, "line_number"}, {3, "function_name"}, {4, "context"}}},
    }};
    return k;
}

KindDef& def_of(RecordKind k) { return kinds()[static_cast<size_t>(k)]; }

// A VariableReference made by the reference scan keeps its line in a slot
// after its fields and makes its context (the line stripped) when it is first
// read: most contexts of a program are never read, and they would take about
// a sixth of a parsed program's memory. The context slot is empty meanwhile.
constexpr int pending_line = RefField::count;

// The record classes by kind, once registered (read on every record made).
PyTypeObject* record_types[4] = {};

// The record kind of an instance (its own class or the record class it derives from).
const KindDef* kind_of(PyObject* self) {
    for (auto& k : kinds())  // the record classes themselves first: no walk of a class's bases
        if (k.type && Py_IS_TYPE(self, k.type)) return &k;
    for (auto& k : kinds())
        if (k.type && PyObject_TypeCheck(self, k.type)) return &k;
    return nullptr;
}

const Signature& signature(RecordKind k) {
    static const Signature variable("VariableInfo.__init__",
                                    {"name", "original_name", "scope", "var_type", "is_array", "file_path",
                                     "line_number",
                                     {"function_name", py::none()},
                                     {"is_const", py::bool_(false)},
                                     {"correct_name", py::none()},
                                     {"issue_description", py::none()}});
    static const Signature function("FunctionInfo.__init__",
                                    {"name", "original_name", "func_type", "file_path", "start_line", "end_line",
                                     "parameters", "issues"});
    static const Signature type("TypeInfo.__init__",
                                {"name", "original_name", "info_type", "file_path", "line_number",
                                 {"scope", py::str("public")},
                                 {"correct_name", py::none()},
                                 {"issue_description", py::none()},
                                 {"reference_count", py::int_(0)},
                                 {"referenced_files", py::none()}});
    static const Signature reference("VariableReference.__init__",
                                     {"var_name", "file_path", "line_number", {"function_name", py::none()},
                                      {"context", py::str("")}});
    switch (k) {
        case RecordKind::Variable: return variable;
        case RecordKind::Function: return function;
        case RecordKind::Type: return type;
        default: return reference;
    }
}

RecordKind kind_index(const KindDef* k) { return static_cast<RecordKind>(k - kinds().data()); }

// The slots a record holds: its fields, and for a reference the line of a
// context still to be made.
size_t slots_of(const KindDef& k) { return k.fields.size() + (&k == &def_of(RecordKind::Reference) ? 1 : 0); }
size_t slot_count(PyObject* self) { return slots_of(*kind_of(self)); }

// Whether a field is VariableReference.context (the field table's own entry,
// which the attribute's getter and setter are given).
bool is_reference_context(const FieldDef& f) {
    return &f == &def_of(RecordKind::Reference).fields[RefField::context];
}

void raise_missing(PyObject* self, const char* name) {
    PyErr_Format(PyExc_AttributeError, "'%.100s' object has no attribute '%s'", Py_TYPE(self)->tp_name, name);
}

// Makes a pending context from its line: the line with white space removed
// at both ends, as the host's str.strip() gives it. Null with the host error
// set when that fails.
PyObject* make_pending_context(PyObject* self) {
    PyObject** slots = record_slots(self);
    PyObject* line = slots[pending_line];
    try {
        const auto [from, to] = host::strip_bounds(host::StrView(line));
        slots[RefField::context] = host::substr(line, from, to).release().ptr();
    } catch (py::error_already_set& e) {
        e.restore();
        return nullptr;
    }
    slots[pending_line] = nullptr;
    Py_DECREF(line);
    return slots[RefField::context];
}

// A field value for reading (borrowed), or null with AttributeError set.
PyObject* read_slot(PyObject* self, const FieldDef& f) {
    PyObject** slots = record_slots(self);
    PyObject* v = slots[f.index];
    if (!v && is_reference_context(f) && slots[pending_line]) return make_pending_context(self);
    if (!v) raise_missing(self, f.name);
    return v;
}

void post_init_type(PyObject* self) {
    PyObject** slot = record_slots(self) + TypeField::referenced_files;
    if (*slot == Py_None) {
        PyObject* s = host::check(PySet_New(nullptr));
        Py_DECREF(*slot);
        *slot = s;
    }
}

int record_init(PyObject* self, PyObject* args, PyObject* kwargs) {
    try {
        const KindDef* k = kind_of(self);
        py::args a = py::reinterpret_borrow<py::args>(args);
        py::kwargs kw = kwargs ? py::reinterpret_borrow<py::kwargs>(kwargs) : py::kwargs();
        auto values = signature(kind_index(k)).bind(a, kw);
        // (__init__ run again on a scanned reference: the context it is given
        // replaces the one still to be made)
        if (kind_index(k) == RecordKind::Reference) Py_CLEAR(record_slots(self)[pending_line]);
        for (size_t i = 0; i < values.size(); ++i) set_field(self, static_cast<int>(i), values[i]);
        if (kind_index(k) == RecordKind::Type) post_init_type(self);
        return 0;
    } catch (py::error_already_set& e) {
        e.restore();
        return -1;
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "record construction failed");
        return -1;
    }
}

PyObject* record_get(PyObject* self, void* closure) {
    const FieldDef& f = *static_cast<const FieldDef*>(closure);
    PyObject* v = read_slot(self, f);
    Py_XINCREF(v);
    return v;
}

int record_set(PyObject* self, PyObject* value, void* closure) {
    const FieldDef& f = *static_cast<const FieldDef*>(closure);
    PyObject** slot = record_slots(self) + f.index;
    // A new or deleted context replaces one still to be made.
    if (is_reference_context(f) && record_slots(self)[pending_line]) {
        Py_CLEAR(record_slots(self)[pending_line]);
        if (!value) return 0;
    }
    if (!value && !*slot) {
        raise_missing(self, f.name);
        return -1;
    }
    PyObject* old = *slot;
    Py_XINCREF(value);
    *slot = value;
    track_if_needed(self, value);
    Py_XDECREF(old);
    return 0;
}

int record_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    const size_t n = slot_count(self);
    PyObject** slots = record_slots(self);
    for (size_t i = 0; i < n; ++i) Py_VISIT(slots[i]);
    return 0;
}

int record_clear(PyObject* self) {
    const size_t n = slot_count(self);
    PyObject** slots = record_slots(self);
    for (size_t i = 0; i < n; ++i) Py_CLEAR(slots[i]);
    return 0;
}

void record_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    record_clear(self);
    tp->tp_free(self);
    Py_DECREF(tp);
}

// "Name(field=repr, ...)", with "..." for a record that holds itself.
PyObject* record_repr(PyObject* self) {
    const int entered = Py_ReprEnter(self);
    if (entered != 0) return entered > 0 ? PyUnicode_FromString("...") : nullptr;
    PyObject* result = nullptr;
    try {
        const KindDef* k = kind_of(self);
        py::object qualname = py::handle(reinterpret_cast<PyObject*>(Py_TYPE(self))).attr("__qualname__");
        py::list parts;
        for (const auto& f : k->fields) {
            PyObject* v = host::check(read_slot(self, f));
            PyObject* r = host::check(PyObject_Repr(v));
            py::str piece = py::str(f.name) + py::str("=") + py::reinterpret_steal<py::str>(r);
            parts.append(piece);
        }
        py::str text = py::str(qualname) + py::str("(") + py::str(", ").attr("join")(parts) + py::str(")");
        result = text.release().ptr();
    } catch (py::error_already_set& e) {
        e.restore();
        result = nullptr;
    }
    Py_ReprLeave(self);
    return result;
}

// Equal when of the same class and every field equal, compared as the host
// compares two tuples of the fields.
PyObject* record_richcompare(PyObject* self, PyObject* other, int op) {
    if ((op != Py_EQ && op != Py_NE) || Py_TYPE(self) != Py_TYPE(other)) Py_RETURN_NOTIMPLEMENTED;
    const KindDef* k = kind_of(self);
    bool equal = true;
    for (const auto& f : k->fields) {
        PyObject* a = read_slot(self, f);
        if (!a) return nullptr;
        PyObject* b = read_slot(other, f);
        if (!b) return nullptr;
        const int r = PyObject_RichCompareBool(a, b, Py_EQ);
        if (r < 0) return nullptr;
        if (r == 0) {
            equal = false;
            break;
        }
    }
    return PyBool_FromLong((op == Py_EQ) == equal);
}

PyObject* record_reduce(PyObject* self, PyObject*) {
    const KindDef* k = kind_of(self);
    PyObject* values = PyTuple_New(static_cast<Py_ssize_t>(k->fields.size()));
    if (!values) return nullptr;
    for (const auto& f : k->fields) {
        PyObject* v = read_slot(self, f);
        if (!v) {
            Py_DECREF(values);
            return nullptr;
        }
        Py_INCREF(v);
        PyTuple_SET_ITEM(values, f.index, v);
    }
    return Py_BuildValue("(ON)", reinterpret_cast<PyObject*>(Py_TYPE(self)), values);
}

PyObject* type_post_init(PyObject* self, PyObject*) {
    try {
        post_init_type(self);
    } catch (py::error_already_set& e) {
        e.restore();
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyMethodDef record_methods[] = {
    {"__reduce__", record_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef type_methods[] = {
    {"__reduce__", record_reduce, METH_NOARGS, nullptr},
    {"__post_init__", type_post_init, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyTypeObject* make_type(py::module_& m, KindDef& k, bool with_post_init) {
    for (const auto& f : k.fields)
        k.getset.push_back({f.name, record_get, record_set, nullptr, const_cast<FieldDef*>(&f)});
    k.getset.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});

    PyType_Slot slots[] = {
        {Py_tp_doc, const_cast<char*>(k.doc)},
        {Py_tp_init, reinterpret_cast<void*>(record_init)},
        {Py_tp_dealloc, reinterpret_cast<void*>(record_dealloc)},
        {Py_tp_traverse, reinterpret_cast<void*>(record_traverse)},
        {Py_tp_clear, reinterpret_cast<void*>(record_clear)},
        {Py_tp_repr, reinterpret_cast<void*>(record_repr)},
        {Py_tp_richcompare, reinterpret_cast<void*>(record_richcompare)},
        {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
        {Py_tp_getset, k.getset.data()},
        {Py_tp_methods, with_post_init ? type_methods : record_methods},
        {0, nullptr},
    };
    k.dotted_name = py::str(m.attr("__name__")).cast<std::string>() + "." + k.name;
    PyType_Spec spec{};
    spec.name = k.dotted_name.c_str();
    spec.basicsize = static_cast<int>(sizeof(PyObject) + slots_of(k) * sizeof(PyObject*));
    spec.itemsize = 0;
    spec.flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE;
    spec.slots = slots;
    PyObject* type = host::check(PyType_FromSpec(&spec));
    py::object holder = py::reinterpret_steal<py::object>(type);
    // The plain class name in messages ("unhashable type: 'VariableInfo'"), as
    // for a class defined in the host.
    holder.attr("__name__") = py::str(k.name);
    m.attr(k.name) = holder;
    return reinterpret_cast<PyTypeObject*>(holder.release().ptr());  // kept for the process
}

}  // namespace

void register_records(py::module_& m) {
    for (auto& k : kinds()) {
        k.type = make_type(m, k, &k == &def_of(RecordKind::Type));
        record_types[&k - kinds().data()] = k.type;
    }
}

PyTypeObject* record_type(RecordKind kind) { return record_types[static_cast<size_t>(kind)]; }

bool is_record(py::handle obj, RecordKind kind) {
    PyTypeObject* const type = record_types[static_cast<size_t>(kind)];
    return Py_IS_TYPE(obj.ptr(), type) || PyObject_TypeCheck(obj.ptr(), type);
}

bool is_atomic_value(PyObject* value) {
    if (!PyObject_IS_GC(value) || is_enum_member(value)) return true;
    for (PyTypeObject* type : record_types)
        if (Py_IS_TYPE(value, type)) return !PyObject_GC_IsTracked(value);
    return false;
}

void untrack_atomic_lists(py::handle map) {
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    Py_ssize_t pos = 0;
    if (!PyDict_Check(map.ptr())) return;
    while (PyDict_Next(map.ptr(), &pos, &key, &value)) {
        if (!PyList_CheckExact(value) || !PyObject_GC_IsTracked(value)) continue;
        bool atomic = true;
        for (Py_ssize_t i = 0, n = PyList_GET_SIZE(value); atomic && i < n; ++i)
            atomic = is_atomic_value(PyList_GET_ITEM(value, i));
        if (atomic) PyObject_GC_UnTrack(value);
    }
}

py::object new_record(RecordKind kind, std::initializer_list<py::handle> values) {
    PyTypeObject* tp = record_types[static_cast<size_t>(kind)];
    PyObject* obj = host::check(PyType_GenericAlloc(tp, 0));
    PyObject** slots = record_slots(obj);
    int i = 0;
    bool holds_containers = false;
    for (py::handle v : values) {
        Py_INCREF(v.ptr());
        slots[i++] = v.ptr();
        holds_containers = holds_containers || !is_atomic_value(v.ptr());
    }
    // A record that holds only atomic values cannot be part of a cycle: keep
    // it out of the collector's walks (a program has millions of them).
    // Storing a container in a field tracks it again.
    if (!holds_containers) PyObject_GC_UnTrack(obj);
    return py::reinterpret_steal<py::object>(obj);
}

PyObject* new_reference(PyObject* var_name, PyObject* file_path, PyObject* line_number, PyObject* function_name,
                        PyObject* context, PyObject* line) {
    // Not tracked from the start: a reference holds only atomic values.
    PyObject* obj = PyObject_GC_New(PyObject, record_types[static_cast<size_t>(RecordKind::Reference)]);
    if (!obj) return nullptr;
    PyObject** slots = record_slots(obj);
    PyObject* values[RefField::count + 1] = {var_name, file_path, line_number, function_name, context,
                                             context ? nullptr : line};
    for (int i = 0; i <= RefField::count; ++i) {
        Py_XINCREF(values[i]);
        slots[i] = values[i];
    }
    return obj;
}

}  // namespace tallowby::vba
