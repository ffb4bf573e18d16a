#include "vba/module_parser.hpp"

#include <string_view>
#include <tuple>

#include "host/args.hpp"
#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/failure.hpp"
#include "host/gc_pause.hpp"
#include "host/objects.hpp"
#include "host/own_operation.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "host/utf8_lines.hpp"
#include "vba/header_match.hpp"
#include "vba/line_tests.hpp"
#include "vba/parameter_check.hpp"
#include "vba/records.hpp"
#include "vba/suggestions.hpp"
#include "vba/references.hpp"

namespace tallowby::vba {

namespace {

using host::concat;
using host::failure_text;
using host::print_parts;
using host::StrView;
using host::truthy;

const py::str& colon() {
    static const py::str* c = new py::str(":");
    return *c;
}

py::str u8(std::string_view s) { return host::from_utf8(s); }

FuncType kind_by_suffix(const py::str& name) {
    const StrView v(name);
    auto ends = [&](std::string_view suffix) {
        return v.starts_with(v.size() - static_cast<Py_ssize_t>(suffix.size()), suffix);
    };
    if (ends("_VBT")) return FuncType::VBT;
    if (ends("_DSP")) return FuncType::DSP;
    if (ends("_IP")) return FuncType::IP;
    return FuncType::OTHER;
}

// The bounds [start, end) that str.strip() keeps, read per storage kind.
template <typename Unit>
std::pair<Py_ssize_t, Py_ssize_t> bounds_of(const Unit* d, Py_ssize_t n) {
    Py_ssize_t a = 0, b = n;
    while (a < b && host::is_space(d[a])) ++a;
    while (b > a && host::is_space(d[b - 1])) --b;
    return {a, b};
}

std::pair<Py_ssize_t, Py_ssize_t> line_bounds(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: return bounds_of(PyUnicode_1BYTE_DATA(s), n);
        case PyUnicode_2BYTE_KIND: return bounds_of(PyUnicode_2BYTE_DATA(s), n);
        default: return bounds_of(PyUnicode_4BYTE_DATA(s), n);
    }
}

template <typename Unit>
Py_UCS4 first_solid(const Unit* d, Py_ssize_t n) {
    for (Py_ssize_t i = 0; i < n; ++i)
        if (!host::is_space(d[i])) return d[i];
    return 0;
}

// Whether a line's first character after white space may begin what one of
// the scan's tests accepts (a keyword letter in any case as the host's
// ignore-case matching reads it, or the "T" / "E" of "Type ", "Enum ", "End ").
// Every other line is passed over.
bool may_open_reading(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    Py_UCS4 c;
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: c = first_solid(PyUnicode_1BYTE_DATA(s), n); break;
        case PyUnicode_2BYTE_KIND: c = first_solid(PyUnicode_2BYTE_DATA(s), n); break;
        default: c = first_solid(PyUnicode_4BYTE_DATA(s), n); break;
    }
    if (c >= 128) return c == 0x17F;  // the long s reads as "s"
    switch (c) {
        case 'P': case 'p': case 'F': case 'f': case 'S': case 's': case 'G': case 'g':
        case 'D': case 'd': case 'C': case 'c': case 'T': case 'E':
            return true;
        default:
            return false;
    }
}

// Source lines of the scan: str.strip() of each item as the host would call it.
py::str stripped(py::handle item) {
    if (PyUnicode_CheckExact(item.ptr())) return host::strip(item);
    return host::arg_str(item.attr("strip")(), "line");
}

template <typename Unit>
bool units_continue(const Unit* d, Py_ssize_t n) {
    while (n > 0 && host::is_space(d[n - 1])) --n;
    if (n == 0 || d[n - 1] != '_') return false;
    return n == 1 || host::is_space(d[n - 2]);
}

// Whether an exact str line goes on in the next one (" _" at its end).
bool raw_line_continues(PyObject* s) {
    const Py_ssize_t n = PyUnicode_GET_LENGTH(s);
    switch (PyUnicode_KIND(s)) {
        case PyUnicode_1BYTE_KIND: return units_continue(PyUnicode_1BYTE_DATA(s), n);
        case PyUnicode_2BYTE_KIND: return units_continue(PyUnicode_2BYTE_DATA(s), n);
        default: return units_continue(PyUnicode_4BYTE_DATA(s), n);
    }
}

// The stripped statement that starts at lines[first]: each line that ends in
// " _" is joined to the next with one blank, the "_" dropped. `last` is set to
// the index of its last line.
py::str logical_line(const py::list& lines, Py_ssize_t first, Py_ssize_t& last) {
    py::list pieces;
    Py_ssize_t k = first;
    while (true) {
        py::str piece = stripped(PyList_GET_ITEM(lines.ptr(), k));
        const bool more = k + 1 < PyList_GET_SIZE(lines.ptr()) && continues(StrView(piece));
        if (!more) {
            pieces.append(piece);
            break;
        }
        pieces.append(host::strip(host::substr(piece, 0, PyUnicode_GET_LENGTH(piece.ptr()) - 1)));
        ++k;
    }
    last = k;
    if (PyList_GET_SIZE(pieces.ptr()) == 1) return py::reinterpret_borrow<py::str>(PyList_GET_ITEM(pieces.ptr(), 0));
    static const py::str* blank = new py::str(" ");
    return host::steal<py::str>(PyUnicode_Join(blank->ptr(), pieces.ptr()));
}

const py::str& at_sign() {
    static const py::str* c = new py::str("@");
    return *c;
}

bool contains_key(const py::set& set, py::handle key) {
    const int r = host::check(PySet_Contains(set.ptr(), key.ptr()));
    return r != 0;
}

}  // namespace

py::str procedure_key(py::handle path, py::handle name) { return concat(concat(path, colon()), name); }

py::int_ ModuleParser::line_number(Py_ssize_t n) {
    constexpr Py_ssize_t kKept = Py_ssize_t(1) << 20;
    if (n >= kKept) return py::int_(n);
    if (static_cast<size_t>(n) >= line_numbers_.size()) line_numbers_.resize(static_cast<size_t>(n) + 1024);
    py::object& known = line_numbers_[static_cast<size_t>(n)];
    if (!known) known = py::int_(n);
    return py::reinterpret_borrow<py::int_>(known);
}

py::str ModuleParser::LinePart::str() const {
    if (start == 0 && end == PyUnicode_GET_LENGTH(text.ptr())) return py::reinterpret_borrow<py::str>(text);
    return host::substr(text, start, end);
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
    variable_references = py::reinterpret_steal<py::dict>(host::check(PyObject_CallNoArgs(reference_map)));
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
            host::ModuleText text = host::read_module_text(path);
            // Only texts: out of the collector's walks from the start, so that
            // the check after the passes need not visit every line again.
            PyObject_GC_UnTrack(text.lines.ptr());
            host::set_item(files, path, text.lines);
            host::set_item(file_encodings, path, py::str(text.encoding));
            host::set_item(file_newlines, path, text.newlines);
            parse_file(path, text.lines);
        } catch (...) {
            py::str message = failure_text();
            print_parts({u8("解析文件 "), path, u8(" 时出错: "), message});
        }
    }

    settle_suggestions(*this);

    // The two whole-model passes, each replaceable by a subclass.
    static const auto parser_class = []() -> py::handle {
        static PyObject* cls = py::type::of<ModuleParser>().release().ptr();
        return cls;
    };
    static const host::OwnOperation references_step("_collect_variable_references", parser_class);
    static const host::OwnOperation parameters_step("_check_function_parameters", parser_class);
    references_step(self, [&] { collect_variable_references(*this); });
    parameters_step(self, [&] { check_function_parameters(*this); });
    for (const py::dict* map : {&files, &variable_references, &module_variables, &local_variables})
        untrack_atomic_lists(*map);

    print_parts({u8("解析完成："), py::str(py::int_(py::len(global_variables))), u8(" 个全局变量，"),
                 py::str(py::int_(py::len(functions))), u8(" 个函数")});
}

void ModuleParser::parse_file(const py::str& file_path, const py::list& lines) {
    py::object current;  // the open procedure's FunctionInfo
    bool in_function = false;
    Target procedure;  // its key in functions, also the key of its locals
    Target module;     // file_path in module_variables
    bool current_named = false;  // its name is not empty
    // The procedure keys of this module so far: a procedure that appears
    // again (in another branch of conditional compilation, or a Property
    // Get beside its Let) is kept under its name, "@" and its first line.
    py::set keys_seen;

    auto close_function = [&](Py_ssize_t end_line) {
        set_field(current, FuncField::end_line, line_number(end_line));
        host::set_item(functions, procedure.key, current);
    };

    const Py_ssize_t count = PyList_GET_SIZE(lines.ptr());
    for (Py_ssize_t i = 0; i < count; ++i) {
        const Py_ssize_t line_num = i + 1;
        const py::object held = py::reinterpret_borrow<py::object>(PyList_GET_ITEM(lines.ptr(), i));
        const py::handle item = held;
        // The tests look at the stripped part of the line in place; the
        // stripped text itself is made only for the lines a reader gets.
        // A statement continued over several lines (" _" at the ends) is
        // read as one line, joined with single blanks, at its first line's number.
        py::str line;
        bool have_line = true;
        Py_ssize_t start = 0, end = 0;
        py::handle source = item;
        if (PyUnicode_CheckExact(item.ptr()) && !raw_line_continues(item.ptr())) {
            if (!may_open_reading(item.ptr())) continue;
            std::tie(start, end) = line_bounds(item.ptr());
            if (start == 0 && end == PyUnicode_GET_LENGTH(item.ptr())) {
                line = py::reinterpret_borrow<py::str>(item);
            } else {
                have_line = false;
            }
        } else {
            Py_ssize_t last = i;
            line = logical_line(lines, i, last);
            i = last;
            source = line;
            end = PyUnicode_GET_LENGTH(line.ptr());
            // The items' own strip() may have changed the maps.
            procedure.list = module.list = py::object();
        }
        const StrView v = have_line ? StrView(line) : StrView(source, start, end);
        auto part = [&]() -> LinePart {
            if (have_line) return LinePart{line, 0, PyUnicode_GET_LENGTH(line.ptr())};
            return LinePart{source, start, end};
        };
        auto text = [&]() -> const py::str& {
            if (!have_line) {
                line = host::substr(source, start, end);
                have_line = true;
            }
            return line;
        };

        if (is_function_definition(v)) {
            if (in_function && current) close_function(line_num - 1);
            current = read_header(part(), file_path, line_number(line_num));
            procedure = Target();
            py::handle name = field(current, FuncField::name);
            procedure.key = procedure_key(file_path, name);
            if (contains_key(keys_seen, procedure.key)) {
                procedure.key = procedure_key(file_path, concat(concat(name, at_sign()), py::str(py::int_(line_num))));
            }
            host::check(PySet_Add(keys_seen.ptr(), procedure.key.ptr()));
            current_named = truthy(name);
            in_function = true;
        } else if (!in_function) {
            if (is_type_header(v)) {
                parse_definition(false, text(), line_number(line_num), file_path);
            } else if (is_enum_header(v)) {
                parse_definition(true, text(), line_number(line_num), file_path);
            } else if (is_variable_declaration(v)) {
                declare(part(), file_path, line_number(line_num), py::none(), false, module);
            }
        } else {
            if (is_variable_declaration(v)) {
                declare(part(), file_path, line_number(line_num), field(current, FuncField::name), current_named,
                        current_named ? procedure : module);
            } else if (is_procedure_end(v)) {
                close_function(line_num);
                in_function = false;
                current = py::object();
                procedure = Target();
            }
        }
    }
    if (in_function && current) close_function(count);
}

py::object ModuleParser::parse_function_definition(const py::str& line, const py::str& file_path,
                                                   const py::int_& line_num) {
    return read_header(LinePart{line, 0, PyUnicode_GET_LENGTH(line.ptr())}, file_path, line_num);
}

py::object ModuleParser::read_header(const LinePart& line, const py::str& file_path, const py::int_& line_num) {
    const py::handle src = line.text;
    const Py_ssize_t at = line.start;
    HeaderMatch match;
    if (!match_header(StrView(src, at, line.end), match)) {
        static const py::str* unknown = new py::str("unknown");
        return new_record(RecordKind::Function, {*unknown, *unknown, member(FuncType::OTHER), file_path, line_num,
                                                 py::int_(0), py::list(), py::list()});
    }
    py::str name = host::substr(src, at + match.name_start, at + match.name_end);
    py::list parameters = match.params_start < 0
                              ? py::list()
                              : parse_function_parameters(src, at + match.params_start, at + match.params_end);
    return new_record(RecordKind::Function, {name, name, member(kind_by_suffix(name)), file_path, line_num,
                                             py::int_(0), parameters, py::list()});
}

}  // namespace tallowby::vba
