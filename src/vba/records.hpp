// The four records of the VBA code model (VariableInfo, FunctionInfo,
// TypeInfo, VariableReference) and their C++ access.
//
// Each record is a compact heap type: a fixed array of field slots after the
// object header, no per-record __dict__. In the host they behave like plain
// mutable data records: construction by position or keyword with defaults,
// equality of all fields for records of the same kind, a repr listing every
// field, unhashable.
//
// From C++, create records with new_record (every field given, no argument
// binding) and read or write their fields by index, without attribute
// look-ups. field()/set_field() expect a record of the kind the index belongs
// to (check with is_record when the object may come from a caller).
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>

namespace tallowby::vba {
namespace py = pybind11;

enum class RecordKind { Variable, Function, Type, Reference };

// Field positions, in declaration order.
struct VarField {
    enum : int {
        name, original_name, scope, var_type, is_array, file_path, line_number,
        function_name, is_const, correct_name, issue_description, count
    };
};
struct FuncField {
    enum : int { name, original_name, func_type, file_path, start_line, end_line, parameters, issues, count };
};
struct TypeField {
    enum : int {
        name, original_name, info_type, file_path, line_number, scope, correct_name, issue_description,
        reference_count, referenced_files, count
    };
};
struct RefField {
    enum : int { var_name, file_path, line_number, function_name, context, count };
};

// Defines the four record classes on `m`, in the order above.
void register_records(py::module_& m);

// The host class of a record kind (borrowed; alive for the process).
PyTypeObject* record_type(RecordKind kind);

// Whether `obj` is a record of this kind (subclasses included).
bool is_record(py::handle obj, RecordKind kind);

// A new record with every field set, in field order (each value borrowed and
// referenced by the record). `values` must hold exactly the kind's field
// count. TypeInfo's post-construction step is not run: pass a set for
// referenced_files.
py::object new_record(RecordKind kind, std::initializer_list<py::handle> values);

// A new VariableReference (a new reference, or null with the host error set)
// whose fields are all texts, numbers or None: made without the generic
// allocation and kept out of the cyclic collector. With `context` null, the
// record keeps `line` (an exact str) and makes its context, the line
// stripped, when the context is first read; until then field() gives null
// for it (attr_of reads it).
PyObject* new_reference(PyObject* var_name, PyObject* file_path, PyObject* line_number, PyObject* function_name,
                        PyObject* context, PyObject* line = nullptr);

// The field slots of a record.
inline PyObject** record_slots(PyObject* record) {
    return reinterpret_cast<PyObject**>(reinterpret_cast<char*>(record) + sizeof(PyObject));
}

// A field's value (borrowed); null only when the attribute was deleted.
inline PyObject* field(py::handle record, int index) { return record_slots(record.ptr())[index]; }

// record.<name>: the slot directly for a record of the expected kind, the
// host's attribute look-up for anything else a caller may have put there.
inline py::object attr_of(py::handle obj, RecordKind kind, int index, const char* name) {
    if (is_record(obj, kind)) {
        if (PyObject* v = field(obj, index)) return py::reinterpret_borrow<py::object>(v);
    }
    return obj.attr(name);
}

// Whether a field value cannot lead back to the record that holds it: a
// text, number or None, an enumeration member, or a record that is itself
// untracked.
bool is_atomic_value(PyObject* value);

// Takes each exact list among the map's values out of the cyclic
// collector's walks when every item is atomic (see is_atomic_value): a
// parsed program's reference lists and line lists hold millions of items,
// which every collection would visit again while the model lives. Such a
// list is not watched again if a caller later puts a container into it.
void untrack_atomic_lists(py::handle map);

// Records made from C++ with only atomic values are not tracked by the cyclic
// collector; storing anything else in one of them tracks it again.
inline void track_if_needed(PyObject* record, PyObject* value) {
    if (value && !PyObject_GC_IsTracked(record) && !is_atomic_value(value)) PyObject_GC_Track(record);
}

// Replaces a field's value (the new value is referenced, the old one released).
inline void set_field(py::handle record, int index, py::handle value) {
    PyObject** slot = record_slots(record.ptr()) + index;
    PyObject* old = *slot;
    Py_XINCREF(value.ptr());
    *slot = value.ptr();
    track_if_needed(record.ptr(), value.ptr());
    Py_XDECREF(old);
}

}  // namespace tallowby::vba
