// tallowby.dunmarrow: the DC spec reader, derived from tallowby.tormund.Tormund.
#include <pybind11/pybind11.h>

#include "sheets/spec_sheet_kinds.hpp"

PYBIND11_MODULE(dunmarrow, m) {
    tallowby::sheets::add_spec_kind_class(m, {"Dunmarrow", "read_dc_spec", "dc_spec_path", "get_dc_info"});
}
