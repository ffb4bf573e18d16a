#include "sheets/global_spec.hpp"

#include "host/checked.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"
#include "sheets/sheet_file.hpp"

namespace tallowby::sheets {

void GlobalSpecReader::read(const py::str& path, const py::str& platform) {
    host::TextFile file(retry_space_encoded(path));
    py::dict specs;
    specs_ = specs;
    py::str line;
    for (size_t index = 0; file.next(line); ++index) {
        if (index == 0) {
            version_ = sheet_version(line, platform);
            continue;
        }
        if (index <= 3) continue;
        host::TabFields cells(line);
        py::str value = host::upper(cells.at(3));
        py::str symbol = host::upper(cells.at(1));
        host::check(PyDict_SetItem(specs.ptr(), symbol.ptr(), value.ptr()));
    }
    file.close();
}

}  // namespace tallowby::sheets
