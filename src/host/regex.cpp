#include "host/regex.hpp"

#include "host/checked.hpp"

namespace tallowby::host {

const HostPattern::Compiled& HostPattern::get() const {
    if (!compiled_) {
        py::object re = py::module_::import("re");
        py::object p = re.attr("compile")(pattern_, flags_);
        compiled_ = new Compiled{p, p.attr("search"), p.attr("match"), p.attr("findall")};
    }
    return *compiled_;
}

const py::object& HostPattern::compiled() const { return get().pattern; }

namespace {

py::object call1(const py::object& fn, py::handle arg) {
    return host::steal(PyObject_CallOneArg(fn.ptr(), arg.ptr()));
}

}  // namespace

py::object HostPattern::search(py::handle text) const { return call1(get().search, text); }
py::object HostPattern::match(py::handle text) const { return call1(get().match, text); }
py::list HostPattern::findall(py::handle text) const { return call1(get().findall, text); }

py::tuple match_groups(const py::object& match) {
    return host::steal<py::tuple>(PyObject_CallMethod(match.ptr(), "groups", nullptr));
}

py::str group_or_raise(const py::object& match, int n) {
    // Looking the attribute up on None gives the host's own error text.
    return match.attr("group")(n);
}

}  // namespace tallowby::host
