// tallowby.quillon.quillon: the VBA code model, the VBT naming rules and the
// VBA module parser.
#include <pybind11/pybind11.h>

#include "vba/model.hpp"
#include "vba/naming_rules.hpp"

namespace py = pybind11;

PYBIND11_MODULE(quillon, m) {
    tallowby::vba::register_enums(m);
    tallowby::vba::register_naming_rules(m);
}
