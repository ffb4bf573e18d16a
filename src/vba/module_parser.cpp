#include "vba/module_parser.hpp"

#include <new>
#include <string_view>
#include <tuple>

#include "host/args.hpp"
#include "host/console.hpp"
#include "host/gc_pause.hpp"
#include "host/regex.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "host/utf8_lines.hpp"
#include "vba/declaration_match.hpp"
#include "vba/line_tests.hpp"
#include "vba/naming_rules.hpp"
#include "vba/records.hpp"

namespace tallowby::vba {

namespace {

using host::HostPattern;
using host::kIgnoreCase;
using host::StrView;

const HostPattern kHeader(R"(^\s*(Public|Private|Friend)?\s*(Function|Sub)\s+(?P<name>\w+)\s*(\((?P<params>.*)\))?)",
                          kIgnoreCase);
const HostPattern kParameter(R"(^(ByVal|ByRef)?\s*(?P<name>\w+)\s*(As\s+(?P<type>[\w\[\]]+))?)", kIgnoreCase);
const HostPattern kTypeHeader(R"(^\s*(?P<scope>Public|Private)?\s*Type\s+(?P<name>\w+))", kIgnoreCase);
const HostPattern kEnumHeader(R"(^\s*(?P<scope>Public|Private)?\s*Enum\s+(?P<name>\w+))", kIgnoreCase);

py::str concat(py::handle a, py::handle b) {
    PyObject* r = PyUnicode_Concat(a.ptr(), b.ptr());
    if (!r) throw py::error_already_set();
    return py::reinterpret_steal<py::str>(r);
}

const py::str& colon() {
    static const py::str* c = new py::str(":");
    return *c;
}

// file path + ":" + name
py::str key_of(py::handle path, py::handle name) { return concat(concat(path, colon()), name); }


bool truthy(py::handle v) {
    const int r = PyObject_IsTrue(v.ptr());
    if (r < 0) throw py::error_already_set();
    return r != 0;
}

// Appends `record` to the list under `key`, creating the list when missing.
void append_under(py::dict& map, py::handle key, py::handle record) {
    PyObject* list = PyDict_GetItemWithError(map.ptr(), key.ptr());
    if (!list) {
        if (PyErr_Occurred()) throw py::error_already_set();
        py::list fresh;
        if (PyDict_SetItem(map.ptr(), key.ptr(), fresh.ptr()) < 0) throw py::error_already_set();
        list = fresh.ptr();
    }
    if (PyList_Append(list, record.ptr()) < 0) throw py::error_already_set();
}

void store(py::dict& map, py::handle key, py::handle value) {
    if (PyDict_SetItem(map.ptr(), key.ptr(), value.ptr()) < 0) throw py::error_already_set();
}

// Within a catch block: the text of an ordinary failure (an Exception in the
// host); anything else (KeyboardInterrupt, SystemExit, ...) goes on up.
py::str failure_text() {
    try {
        throw;
    } catch (py::error_already_set& e) {
        if (!e.matches(PyExc_Exception)) throw;
        return py::str(e.value());
    } catch (py::builtin_exception& e) {
        return py::str(e.what());
    } catch (std::bad_alloc&) {
        return py::str("");
    } catch (std::exception& e) {
        return py::str(e.what());
    }
}

void print_parts(std::initializer_list<py::handle> parts) {
    py::str text("");
    for (py::handle p : parts) text = concat(text, p);
    host::print_line(text);
}

py::str u8(std::string_view s) { return host::from_utf8(s); }

FuncType kind_by_suffix(const py::str& name) {
    auto ends = [&](const char* suffix) {
        const Py_ssize_t r = PyUnicode_Tailmatch(name.ptr(), py::str(suffix).ptr(), 0, PY_SSIZE_T_MAX, 1);
        if (r < 0) throw py::error_already_set();
        return r == 1;
    };
    if (ends("_VBT")) return FuncType::VBT;
    if (ends("_DSP")) return FuncType::DSP;
    if (ends("_IP")) return FuncType::IP;
    return FuncType::OTHER;
}

// Source lines of the scan: str.strip() of each item as the host would call it.
py::str stripped(py::handle item) {
    if (PyUnicode_CheckExact(item.ptr())) return host::strip(item);
    return host::arg_str(item.attr("strip")(), "line");
}

}  // namespace

ParserPasses& parser_passes() {
    static ParserPasses p;
    return p;
}

ModuleParser::ModuleParser() {
    // Look-ups of a missing word give a new empty list and store nothing.
    static PyObject* reference_map = [] {
        py::dict ns;
        ns["__slots__"] = py::tuple();
        ns["__module__"] = py::str("tallowby.quillon.quillon");
        py::object builtins = py::module_::import("builtins");
        py::object cls = builtins.attr("type")("VariableReferenceMap", py::make_tuple(builtins.attr("dict")), ns);
        cls.attr("__missing__") = py::cpp_function([](py::handle, py::handle) { return py::list(); },
                                                   py::is_method(cls), py::name("__missing__"));
        return cls.release().ptr();
    }();
    variable_references = py::reinterpret_steal<py::dict>(PyObject_CallNoArgs(reference_map));
    if (!variable_references) throw py::error_already_set();
}

void ModuleParser::parse_files(py::handle self, const py::str& directory_path) {
    // The lines, records and maps made here hold no cycles: the collector
    // would only walk the growing heap again and again.
    host::GcPause no_gc;
    py::module_ os = py::module_::import("os");
    py::object join = os.attr("path").attr("join");

    // os.walk: top down, files of a folder before its subfolders, listing
    // order, links to folders not followed, unreadable folders skipped.
    py::list paths;
    for (py::handle entry : os.attr("walk")(directory_path)) {
        py::object root = entry[py::int_(0)];
        for (py::handle name : entry[py::int_(2)]) {
            py::str lowered = host::lower(name);
            StrView v(lowered);
            if (!v.starts_with(v.size() - 4, ".bas")) continue;
            py::object path = join(root, name);
            // Only regular files are opened: a FIFO, socket or device would
            // block or never end. A broken link stays, and fails when opened.
            if (host::path_exists(path) && !host::is_regular_file(path)) continue;
            paths.append(path);
        }
    }

    print_parts({u8("找到 "), py::str(py::int_(py::len(paths))), u8(" 个 .bas 文件")});

    for (py::handle path_h : paths) {
        py::str path = py::reinterpret_borrow<py::str>(path_h);
        try {
            py::list lines = host::read_utf8_lines_ignoring_errors(path);
            store(files, path, lines);
            parse_file(path, lines);
        } catch (...) {
            py::str message = failure_text();
            print_parts({u8("解析文件 "), path, u8(" 时出错: "), message});
        }
    }

    self.attr("_collect_variable_references")();
    self.attr("_check_function_parameters")();

    print_parts({u8("解析完成："), py::str(py::int_(py::len(global_variables))), u8(" 个全局变量，"),
                 py::str(py::int_(py::len(functions))), u8(" 个函数")});
}

void ModuleParser::parse_file(const py::str& file_path, const py::list& lines) {
    py::object current;  // the open procedure's FunctionInfo
    bool in_function = false;

    auto close_function = [&](Py_ssize_t end_line) {
        set_field(current, FuncField::end_line, py::int_(end_line));
        store(functions, key_of(file_path, field(current, FuncField::name)), current);
    };

    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(lines.ptr()); ++i) {
        const Py_ssize_t line_num = i + 1;
        py::handle item = PyList_GET_ITEM(lines.ptr(), i);
        // The tests look at the stripped part of the line in place; the
        // stripped text itself is made only for the lines a reader gets.
        py::str line;
        bool have_line = true;
        Py_ssize_t start = 0, end = 0;
        if (PyUnicode_CheckExact(item.ptr())) {
            std::tie(start, end) = host::strip_bounds(StrView(item));
            if (start == 0 && end == PyUnicode_GET_LENGTH(item.ptr())) {
                line = py::reinterpret_borrow<py::str>(item);
            } else {
                have_line = false;
            }
        } else {
            line = stripped(item);
        }
        const StrView v = have_line ? StrView(line) : StrView(item, start, end);
        auto text = [&]() -> const py::str& {
            if (!have_line) {
                line = host::substr(item, start, end);
                have_line = true;
            }
            return line;
        };

        if (is_function_definition(v)) {
            if (in_function && current) close_function(line_num - 1);
            current = parse_function_definition(text(), file_path, py::int_(line_num));
            in_function = true;
        } else if (!in_function) {
            if (is_type_header(v)) {
                parse_definition(false, text(), py::int_(line_num), file_path);
            } else if (is_enum_header(v)) {
                parse_definition(true, text(), py::int_(line_num), file_path);
            } else if (is_variable_declaration(v)) {
                parse_variable_declaration(text(), file_path, py::int_(line_num), py::none());
            }
        } else {
            if (is_variable_declaration(v)) {
                parse_variable_declaration(text(), file_path, py::int_(line_num), field(current, FuncField::name));
            } else if (v.starts_with(0, "End Function") || v.starts_with(0, "End Sub")) {
                close_function(line_num);
                in_function = false;
                current = py::object();
            }
        }
    }
    if (in_function && current) close_function(PyList_GET_SIZE(lines.ptr()));
}

py::object ModuleParser::parse_function_definition(const py::str& line, const py::str& file_path,
                                                   const py::int_& line_num) {
    py::object match = kHeader.match(line);
    if (match.is_none()) {
        py::str unknown("unknown");
        return new_record(RecordKind::Function, {unknown, unknown, member(FuncType::OTHER), file_path, line_num,
                                                 py::int_(0), py::list(), py::list()});
    }
    py::tuple groups = host::match_groups(match);  // prefix, kind, name, (params), params
    py::str name = groups[2];
    py::object params = groups[4];
    py::str params_str = (params.is_none() || !truthy(params)) ? py::str("") : py::str(params);
    py::list parameters = parse_function_parameters(params_str);
    return new_record(RecordKind::Function, {name, name, member(kind_by_suffix(name)), file_path, line_num,
                                             py::int_(0), parameters, py::list()});
}

py::list parse_function_parameters(const py::str& params_str) {
    py::list parameters;
    if (host::is_blank(params_str)) return parameters;

    // Split at commas outside parentheses; empty pieces are dropped.
    py::list pieces;
    StrView v(params_str);
    long depth = 0;
    Py_ssize_t start = 0;
    auto take = [&](Py_ssize_t end) {
        py::str piece = host::strip(host::substr(params_str, start, end));
        if (PyUnicode_GET_LENGTH(piece.ptr()) > 0) pieces.append(piece);
    };
    for (Py_ssize_t i = 0; i < v.size(); ++i) {
        const Py_UCS4 c = v[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            take(i);
            start = i + 1;
        }
    }
    take(v.size());

    static const py::str* variant = new py::str("Variant");
    static const py::str* empty = new py::str("");
    for (py::handle piece : pieces) {
        py::object match = kParameter.match(piece);
        if (match.is_none()) continue;
        py::tuple groups = host::match_groups(match);  // mode, name, (As type), type
        py::object name = groups[1];
        py::object type = groups[3];
        py::object mode = groups[0];
        py::object type_text = type.is_none() ? py::object(*variant) : type;
        py::object mode_text = mode.is_none() ? py::object(*empty) : mode;
        parameters.append(py::make_tuple(name, type_text, mode_text));
    }
    return parameters;
}

VarType variable_type_of(const py::str& type_str) {
    static const std::pair<const char*, VarType> table[] = {
        {"integer", VarType::Integer},         {"long", VarType::Long},
        {"single", VarType::Single},           {"double", VarType::Double},
        {"string", VarType::String},           {"boolean", VarType::Boolean},
        {"variant", VarType::Variant},         {"sitelong", VarType::SiteLong},
        {"sitedouble", VarType::SiteDouble},   {"siteboolean", VarType::SiteBoolean},
        {"dspwave", VarType::DspWave},         {"pindata", VarType::PinData},
        {"pinlistdata", VarType::PinListData}, {"pinlist", VarType::PinList},
        {"pattern", VarType::Pattern},         {"csl", VarType::CSL},
    };
    py::str lowered = host::lower(type_str);
    for (const auto& [spelling, type] : table)
        if (host::equals(lowered, spelling)) return type;
    return VarType::Variant;
}

py::handle parse_variable_type(const py::str& type_str) { return member(variable_type_of(type_str)); }

void ModuleParser::parse_variable_declaration(const py::str& line, const py::str& file_path,
                                              const py::int_& line_num, py::handle function_name) {
    try {
        DeclarationMatch match;
        if (!match_declaration(StrView(line), match)) return;
        py::str scope_keyword = host::lower(host::substr(line, match.keyword_start, match.keyword_end));
        py::object const_keyword = match.const_start < 0
                                       ? py::object(py::none())
                                       : py::object(host::substr(line, match.const_start, match.const_end));
        py::object names_part = host::substr(line, match.names_start, match.names_end);
        py::str type_word = host::substr(line, match.type_start, match.type_end);

        const bool in_procedure = truthy(function_name);
        Scope scope = Scope::ModulePrivate;
        if (in_procedure)
            scope = Scope::Local;
        else if (host::equals(scope_keyword, "public") || host::equals(scope_keyword, "global"))
            scope = Scope::Global;
        const VarType type = variable_type_of(type_word);
        const bool is_const = !const_keyword.is_none() || host::equals(scope_keyword, "const");
        const bool is_array = StrView(line).find('(') >= 0;

        py::handle scope_member = member(scope), type_member = member(type);
        py::handle array_flag = is_array ? Py_True : Py_False, const_flag = is_const ? Py_True : Py_False;
        py::object local_key;
        if (scope != Scope::Global && in_procedure) local_key = key_of(file_path, function_name);

        for (py::handle piece : host::split_char(names_part, ',')) {
            py::str name = host::strip(piece);
            py::object record = new_record(RecordKind::Variable,
                                           {name, name, scope_member, type_member, array_flag, file_path, line_num,
                                            function_name, const_flag, py::none(), py::none()});
            NameVerdict verdict = variable_verdict(name, scope, type, is_array, is_const);
            if (PyUnicode_Check(verdict.issue.ptr()) && PyUnicode_GET_LENGTH(verdict.issue.ptr()) > 0) {
                set_field(record, VarField::correct_name, verdict.name);
                set_field(record, VarField::issue_description, verdict.issue);
            }
            if (scope == Scope::Global) {
                if (PyList_Append(global_variables.ptr(), record.ptr()) < 0) throw py::error_already_set();
            } else if (in_procedure) {
                append_under(local_variables, local_key, record);
            } else {
                append_under(module_variables, file_path, record);
            }
        }
    } catch (...) {
        py::str message = failure_text();
        print_parts({u8("解析变量声明时出错 (行 "), py::str(line_num), u8("): "), line, u8(" - "), message});
    }
}

void ModuleParser::parse_definition(bool is_enum, const py::str& line, const py::int_& line_num,
                                    const py::str& file_path) {
    py::object match = (is_enum ? kEnumHeader : kTypeHeader).match(line);
    if (match.is_none()) return;
    py::tuple groups = host::match_groups(match);  // scope, name
    py::str name = groups[1];
    py::object scope_word = groups[0];
    const bool is_private = !scope_word.is_none() && host::equals(host::lower(scope_word), "private");
    py::str scope(is_private ? "private" : "public");

    py::str prefix(is_enum ? "enum_" : "type_");
    const Py_ssize_t compliant = PyUnicode_Tailmatch(name.ptr(), prefix.ptr(), 0, PY_SSIZE_T_MAX, -1);
    if (compliant < 0) throw py::error_already_set();
    py::object suggestion = py::none(), issue = py::none();
    if (compliant == 0) {
        suggestion = concat(prefix, name);
        issue = u8(is_enum ? "Enum定义应以 'enum_' 为前缀" : "Type定义应以 'type_' 为前缀");
    }
    py::set referenced_files;
    py::object record = new_record(RecordKind::Type, {name, name, py::str(is_enum ? "Enum" : "Type"), file_path,
                                                      line_num, scope, suggestion, issue, py::int_(0),
                                                      referenced_files});
    store(is_enum ? enums : types, key_of(file_path, name), record);
}

}  // namespace tallowby::vba
