#include "vba/type_uses.hpp"

#include <string_view>

#include "host/checked.hpp"
#include "host/objects.hpp"
#include "host/regex.hpp"
#include "vba/records.hpp"
#include "vba/references.hpp"

namespace tallowby::vba {

using host::StrView;

namespace {

constexpr std::string_view kDefinitionKeywords[] = {"type", "enum"};
constexpr std::string_view kDefinitionModifiers[] = {"public", "private"};

const host::HostPattern kDefinitionHeader(R"(^\s*(Public|Private)?\s*(Type|Enum)\s+)", host::kIgnoreCase);

// \b + name + \b searched in the line, the name taken literally.
bool whole_word_found(const StrView& line, PyObject* name) {
    const Py_ssize_t n = line.size();
    const Py_ssize_t m = PyUnicode_GET_LENGTH(name);
    auto boundary = [&](Py_ssize_t p) {
        const bool before = p > 0 && host::is_word(line[p - 1]);
        const bool after = p < n && host::is_word(line[p]);
        return before != after;
    };
    for (Py_ssize_t from = 0; from + m <= n;) {
        const Py_ssize_t at = PyUnicode_Find(line.object(), name, from, n, 1);
        if (at == -2) host::raise_error();
        if (at < 0) return false;
        if (boundary(at) && boundary(at + m)) return true;
        from = at + 1;
    }
    return false;
}

}  // namespace

// ^\s*(Public|Private)?\s*(Type|Enum)\s+, ignoring case.
bool definition_header(const StrView& v) {
    auto skip_space = [&](Py_ssize_t p) {
        while (p < v.size() && host::is_space(v[p])) ++p;
        return p;
    };
    auto keyword_space = [&](Py_ssize_t p) {
        for (std::string_view kw : kDefinitionKeywords) {
            const Py_ssize_t q = p + static_cast<Py_ssize_t>(kw.size());
            if (v.starts_with_ignorecase(p, kw) && q < v.size() && host::is_space(v[q])) return true;
        }
        return false;
    };
    const Py_ssize_t p = skip_space(0);
    if (p >= v.size()) return false;
    const Py_UCS4 c = v[p];
    if (!host::matches_ignorecase(c, 'p') && !host::matches_ignorecase(c, 't') && !host::matches_ignorecase(c, 'e'))
        return false;
    for (std::string_view modifier : kDefinitionModifiers)
        if (v.starts_with_ignorecase(p, modifier) &&
            keyword_space(skip_space(p + static_cast<Py_ssize_t>(modifier.size()))))
            return true;
    return keyword_space(p);
}

// type_info.reference_count += 1; type_info.referenced_files.add(file_path)
void count_use(py::handle info, py::handle file_path) {
    static PyObject* one = PyLong_FromLong(1);
    if (is_record(info, RecordKind::Type) && field(info, TypeField::reference_count) &&
        field(info, TypeField::referenced_files)) {
        PyObject* sum = host::check(PyNumber_InPlaceAdd(field(info, TypeField::reference_count), one));
        set_field(info, TypeField::reference_count, py::reinterpret_steal<py::object>(sum));
        PyObject* files = field(info, TypeField::referenced_files);
        if (PySet_CheckExact(files)) {
            host::check(PySet_Add(files, file_path.ptr()));
        } else {
            py::handle(files).attr("add")(file_path);
        }
        return;
    }
    py::object count = info.attr("reference_count");
    PyObject* sum = host::check(PyNumber_InPlaceAdd(count.ptr(), one));
    info.attr("reference_count") = py::reinterpret_steal<py::object>(sum);
    info.attr("referenced_files").attr("add")(file_path);
}

TypeCounter::TypeCounter(ModuleParser& parser) {
    auto enter = [&](const py::dict& records) {
        for (auto item : records) {
            py::handle info = item.second;
            host::set_item(all_types_, attr_of(info, RecordKind::Type, TypeField::name, "name"), info);
            host::set_item(all_types_, attr_of(info, RecordKind::Type, TypeField::original_name, "original_name"),
                           info);
        }
    };
    enter(parser.types);
    enter(parser.enums);

    names_.reserve(static_cast<size_t>(PyDict_GET_SIZE(all_types_.ptr())));
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    std::string text;
    while (PyDict_Next(all_types_.ptr(), &pos, &key, &value)) {
        names_.push_back({key, value});
        if (!PyUnicode_Check(key))
            non_text_ = true;
        else if (word_run_text(key, text))
            by_text_->add(text, &names_.back());
        else
            literal_.push_back(&names_.back());
    }
    if (non_text_) re_ = py::module_::import("re");
}

bool TypeCounter::plain() const {
    if (non_text_) return false;
    for (const TypeName& n : names_) {
        if (!Py_IS_TYPE(n.record, record_type(RecordKind::Type))) return false;
        PyObject* count = field(n.record, TypeField::reference_count);
        PyObject* files = field(n.record, TypeField::referenced_files);
        if (!count || !PyLong_CheckExact(count) || !files || !PySet_CheckExact(files)) return false;
    }
    return true;
}

void TypeCounter::line(py::handle line, const StrView& v, py::handle file_path) {
    begin_line();
    if (non_text_) {
        // Some name is not a str: the host's own search, in order, fails
        // where it would.
        for (auto item : all_types_) {
            py::object pattern = py::str("\\b") + re_.attr("escape")(item.first) + py::str("\\b");
            if (!re_.attr("search")(pattern, line).is_none()) count_use(item.second, file_path);
        }
        return;
    }
    if (by_runs()) {
        for_each_run(line.ptr(), [&](const auto* s, Py_ssize_t start, Py_ssize_t end, bool ascii) {
            const std::string_view text = run_text(s, start, end, ascii, buffer_);
            run(text, word_hash(text), file_path);
        });
    }
    end_line(v, file_path);
}

void TypeCounter::end_line(const StrView& v, py::handle file_path) {
    for (TypeName* name : literal_)
        if (whole_word_found(v, name->name)) count_use(name->record, file_path);
}

void collect_type_enum_references(ModuleParser& parser) {
    TypeCounter counter(parser);
    for (auto file : parser.files) {
        py::handle file_path = file.first;
        host::for_each_item(file.second, [&](py::handle line) {
            if (!PyUnicode_Check(line.ptr())) {
                // The host's header match fails on anything but a str.
                kDefinitionHeader.match(line);
                return;
            }
            StrView v(line);
            if (!definition_header(v)) counter.line(line, v, file_path);
        });
    }
}

}  // namespace tallowby::vba
