// tallowby.hestor: the job list parser.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/job_list.hpp"

namespace py = pybind11;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::JobListReader;

PYBIND11_MODULE(hestor, m) {
    m.def("get_job_list_content", [](py::args args, py::kwargs kwargs) {
        static const Signature sig("get_job_list_content", {"line_list"}, false);
        auto a = sig.bind(args, kwargs);
        return tallowby::sheets::job_list_content(a[0]);
    });

    py::class_<JobListReader>(m, "Hestor", py::dynamic_attr())
        .def(py::init(init0<JobListReader>("Hestor.__init__")))
        .def("read_job_list",
             [](JobListReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Hestor.read_job_list", {"job_list_path"});
                 auto a = sig.bind(args, kwargs);
                 self.read(a[0]);
             })
        .def("get_test_job_list_info", method0<JobListReader>("Hestor.get_test_job_list_info",
                                         [](JobListReader& self) { return self.jobs(); }))
        .def_property_readonly("_Hestor__job_list_dict", [](JobListReader& self) { return self.jobs(); });
}
