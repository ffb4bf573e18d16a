// tallowby.pendrel: the pattern set parser, the pattern time-set query and the
// pattern vector count reader.
#include <pybind11/pybind11.h>

#include "host/args.hpp"
#include "host/bind.hpp"
#include "sheets/pattern_sets.hpp"

namespace py = pybind11;
using tallowby::host::arg_str;
using tallowby::host::init0;
using tallowby::host::method0;
using tallowby::host::Signature;
using tallowby::sheets::PatternSetReader;

PYBIND11_MODULE(pendrel, m) {
    py::class_<PatternSetReader>(m, "Pendrel", py::dynamic_attr())
        .def(py::init(init0<PatternSetReader>("Pendrel.__init__")))
        .def("read_pattern_set",
             [](PatternSetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.read_pattern_set",
                                            {"pattern_set_path", "pattern_file_path",
                                             {"platform", py::str("UltraFLEXplus")}});
                 auto a = sig.bind(args, kwargs);
                 auto path = arg_str(a[0], "pattern_set_path");
                 arg_str(a[1], "pattern_file_path");
                 auto platform = arg_str(a[2], "platform");
                 self.read(path, platform);
             })
        .def("get_pattern_set_info", method0<PatternSetReader>("Pendrel.get_pattern_set_info",
                                         [](PatternSetReader& self) { return self.resolved(); }))
        .def("get_pattern_cycle_info", method0<PatternSetReader>("Pendrel.get_pattern_cycle_info",
                                         [](PatternSetReader& self) { return self.cycles(); }))
        .def("get_pat_path",
             [](PatternSetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.get_pat_path", {"pat_path"});
                 auto a = sig.bind(args, kwargs);
                 return self.pat_path(arg_str(a[0], "pat_path"));
             })
        .def("contains_any_substring",
             [](PatternSetReader&, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.contains_any_substring", {"s", "substrings"});
                 auto a = sig.bind(args, kwargs);
                 return tallowby::sheets::contains_any_substring(a[0], a[1]);
             })
        .def("truncate_after_substring",
             [](PatternSetReader&, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.truncate_after_substring", {"s", "substrings"});
                 auto a = sig.bind(args, kwargs);
                 return tallowby::sheets::truncate_after_substring(a[0], a[1]);
             })
        .def("read_tset_from_pattern",
             [](PatternSetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.read_tset_from_pattern",
                                            {"pattern_folder_path", "pattern_file_path"});
                 auto a = sig.bind(args, kwargs);
                 auto folder = arg_str(a[0], "pattern_folder_path");
                 auto file = arg_str(a[1], "pattern_file_path");
                 self.read_tset(folder, file);
             })
        .def("get_pattern_tset", method0<PatternSetReader>("Pendrel.get_pattern_tset",
                                         [](PatternSetReader& self) { return self.tset_names(); }))
        .def("read_pattern_file",
             [](PatternSetReader& self, py::args args, py::kwargs kwargs) {
                 static const Signature sig("Pendrel.read_pattern_file", {"pattern_file_path", "pattern_set_name"});
                 auto a = sig.bind(args, kwargs);
                 self.read_pattern_file(a[0], a[1]);
             })
        .def_property_readonly("_Pendrel__tset_name", [](PatternSetReader& self) { return self.tset_names(); })
        .def_property_readonly("_Pendrel__pattern_set_dict", [](PatternSetReader& self) { return self.sets(); })
        .def_property_readonly("_Pendrel__cycle_dict", [](PatternSetReader& self) { return self.cycles(); })
        .def_property_readonly("_Pendrel__pattern_set_version",
                               [](PatternSetReader& self) { return self.version(); });
}
