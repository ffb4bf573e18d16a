// tallowby.sunmere: the AC spec reader, derived from tallowby.tormund.Tormund.
#include <pybind11/pybind11.h>

#include "sheets/spec_sheet_kinds.hpp"

PYBIND11_MODULE(sunmere, m) {
    tallowby::sheets::add_spec_kind_class(m, {"Sunmere", "read_ac_spec", "ac_spec_path", "get_ac_info"});
}
