#include "host/regex.hpp"

namespace tallowby::host {

const py::object& HostPattern::compiled() const {
    if (!compiled_) {
        py::object re = py::module_::import("re");
        compiled_ = new py::object(re.attr("compile")(pattern_, flags_));
    }
    return *compiled_;
}

py::object HostPattern::search(py::handle text) const { return compiled().attr("search")(text); }
py::object HostPattern::match(py::handle text) const { return compiled().attr("match")(text); }
py::list HostPattern::findall(py::handle text) const { return compiled().attr("findall")(text); }

py::str group_or_raise(const py::object& match, int n) {
    // Looking the attribute up on None gives the host's own error text.
    return match.attr("group")(n);
}

}  // namespace tallowby::host
