// The VBA module parser: walks a folder of ".bas" modules, scans each line
// by line and reads declarations, procedure headers and Type and Enum
// definitions into the code model (records.hpp). The host class VBAParser
// wraps one ModuleParser; its collections are these very objects.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <vector>

#include "vba/model.hpp"

namespace tallowby::vba {
namespace py = pybind11;

class ModuleParser {
public:
    ModuleParser();

    // file path -> the file's lines as read
    py::dict files;
    // file path -> how its bytes were decoded ("utf-8", "utf-8-sig",
    // "gb18030", "cp950", "utf-8-lossy"), and the line ends it had (None, "\n",
    // "\r\n", "\r" or a tuple of those), for writing it back as it was
    py::dict file_encodings;
    py::dict file_newlines;
    // VariableInfo records of scope GLOBAL
    py::list global_variables;
    // file path -> list of module-private VariableInfo
    py::dict module_variables;
    // file path + ":" + procedure name -> list of VariableInfo
    py::dict local_variables;
    // file path + ":" + procedure name -> FunctionInfo
    py::dict functions;
    // file path + ":" + name -> TypeInfo (Type definitions / Enum definitions)
    py::dict types;
    py::dict enums;
    // variable word -> list of VariableReference; a missing key reads as a
    // new empty list that is not stored
    py::dict variable_references;

    // Reads every module below `directory_path`, then has the host object
    // `self` run its reference pass and parameter check.
    void parse_files(py::handle self, const py::str& directory_path);
    // Scans one module's lines.
    void parse_file(const py::str& file_path, const py::list& lines);
    // The FunctionInfo of a header line ("unknown" when it does not read).
    py::object parse_function_definition(const py::str& line, const py::str& file_path, const py::int_& line_num);
    // Files a record for every name that the declaration line declares.
    void parse_variable_declaration(const py::str& line, const py::str& file_path, const py::int_& line_num,
                                    py::handle function_name);
    // Files the TypeInfo of a Type (is_enum false) or Enum header line.
    void parse_definition(bool is_enum, const py::str& line, const py::int_& line_num, const py::str& file_path);

private:
    // The text s[start:end] of a str, read in place.
    struct LinePart {
        py::handle text;
        Py_ssize_t start, end;
        py::str str() const;
    };
    // The int of a line number; the scan's records share one object per value.
    py::int_ line_number(Py_ssize_t n);
    std::vector<py::object> line_numbers_;
    py::object read_header(const LinePart& line, const py::str& file_path, const py::int_& line_num);
    // Where the scan files the records of one procedure (in local_variables)
    // or of a module's own declarations (in module_variables): the key, made
    // on first use, and the list under it once looked up.
    struct Target {
        py::object key;
        py::object list;
    };
    // parse_variable_declaration with the procedure test made.
    void declare(const LinePart& line, const py::str& file_path, const py::int_& line_num, py::handle function_name,
                 bool in_procedure, Target& target);
    // The naming verdict of a declared name: issue null when compliant. The
    // rule is a pure function of its inputs, so verdicts are kept per
    // (scope, type, array, constant) and name; the texts are shared.
    struct Issue {
        PyObject* suggestion;
        PyObject* issue;
    };
    Issue verdict_of(const py::str& name, Scope scope, VarType type, bool is_array, bool is_const);

    // Known verdicts: an open-addressing table whose entries hold short names
    // inline, so that a look-up mostly touches one entry.
    struct Verdict {
        uint64_t hash = 0;
        py::object name;  // the key; null: free entry
        py::object suggestion, issue;  // issue null: compliant
        uint32_t combo = 0;  // scope, type, array and constant flags
        uint32_t length = 0;
        int kind = 0;
        unsigned char inline_data[24];  // the name's code units when they fit
    };
    std::vector<Verdict> verdicts_;
    size_t verdict_count_ = 0;
    py::object overflow_suggestion_, overflow_issue_;  // the last verdict of a name too long to keep
};

// The (name, type, ByVal/ByRef) triples of a parameter list.
// file path + ":" + name: the key of a procedure and of its locals.
py::str procedure_key(py::handle path, py::handle name);

py::list parse_function_parameters(const py::str& params_str);
// The same for the text s[start:end] of a str.
py::list parse_function_parameters(py::handle s, Py_ssize_t start, Py_ssize_t end);
// The VariableType member of a declared type name (VARIANT when unknown).
py::handle parse_variable_type(const py::str& type_str);
VarType variable_type_of(const py::str& type_str);
// The same for the text s[start:end] of a str.
VarType variable_type_of(py::handle s, Py_ssize_t start, Py_ssize_t end);
// The type a type character after a name gives (0: none, Variant).
VarType type_of_character(Py_UCS4 c);

// Defines the class VBAParser on `m`; needs the enums and records.
void register_parser(py::module_& m);

}  // namespace tallowby::vba
