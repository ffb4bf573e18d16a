#include "sheets/sheet_file.hpp"

#include "host/regex.hpp"
#include "host/text.hpp"
#include "host/text_file.hpp"

namespace tallowby::sheets {

py::str retry_space_encoded(const py::str& path) {
    if (host::is_regular_file(path)) return path;
    return host::replace(path, "%20", " ");
}

py::str sheet_version(const py::str& line, const py::str& platform) {
    static const host::HostPattern ultraflex(R"(version=(\S+?):)");
    static const host::HostPattern other(R"(DFF (\d+(\.\d+)?))");
    const host::HostPattern& pattern = platform_has(platform, "UltraFLEX") ? ultraflex : other;
    return host::group_or_raise(pattern.search(line), 1);
}

bool platform_has(const py::str& platform, const char* name) { return host::contains(platform, py::str(name)); }

}  // namespace tallowby::sheets
