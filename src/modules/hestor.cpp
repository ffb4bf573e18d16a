// tallowby.hestor: the job list parser.
#include <pybind11/pybind11.h>

#include "host/bind.hpp"
#include "sheets/job_list.hpp"

namespace py = pybind11;
namespace host = tallowby::host;
using tallowby::sheets::JobListReader;

PYBIND11_MODULE(hestor, m) {
    host::function(m, "get_job_list_content", {"line_list"},
                   [](py::object lines) { return tallowby::sheets::job_list_content(lines); });

    py::class_<JobListReader> cls(m, "Hestor", py::dynamic_attr());
    host::constructor<JobListReader>(cls);
    host::method(cls, "read_job_list", {"job_list_path"}, [](JobListReader& self, py::object path) { self.read(path); });
    host::method(cls, "get_test_job_list_info", {}, [](JobListReader& self) { return self.jobs(); });
    cls.def_property_readonly("_Hestor__job_list_dict", [](JobListReader& self) { return self.jobs(); });
}
