#include "sheets/job_list.hpp"

#include "host/checked.hpp"
#include "host/console.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"

namespace tallowby::sheets {

namespace {

py::object split_commas(const py::object& field) {
    if (PyUnicode_CheckExact(field.ptr())) return host::split_char(field, ',');
    return field.attr("split")(",");
}

// Builds the record reading fields 3, 4, 6, 5 and 7 in that order, so that a
// short row fails at the first field it lacks.
template <typename Get>
py::dict make_record(Get&& field) {
    py::object instances = split_commas(field(3));
    py::object flow = field(4);
    py::object dc = field(6);
    py::object ac = field(5);
    py::object patterns = split_commas(field(7));
    py::dict record;
    record["TestInstanceList"] = instances;
    record["Flow Table"] = flow;
    record["DC Spec"] = dc;
    record["AC Spec"] = ac;
    record["PatternSet"] = patterns;
    record["Global Spec"] = "Global Specs";
    return record;
}

}  // namespace

py::dict job_list_content(py::handle line_list) {
    return make_record([&](Py_ssize_t i) {
        return host::steal(PySequence_GetItem(line_list.ptr(), i));
    });
}

void JobListReader::read(py::handle path) {
    host::TextFile file(path);
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index <= 3) continue;
        host::TabFields fields(line);
        if (fields.size() < 5) {
            host::print_line(py::str("Warning: No flow table found in this line: ") + line);
            continue;
        }
        if (fields.empty_at(1)) continue;
        py::dict record = make_record([&](size_t i) -> py::object { return fields.at(i); });
        jobs_[fields.at(1)] = record;
    }
    file.close();
}

}  // namespace tallowby::sheets
