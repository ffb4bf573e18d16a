#include "host/clock.hpp"

#include <ctime>

#include "host/checked.hpp"

namespace tallowby::host {

py::str local_time_text(const char* format) {
    static const bool zone_read = (tzset(), true);
    (void)zone_read;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) {
        host::raise(PyExc_OverflowError, "timestamp out of range for platform time_t");
    }
    char text[128];
    size_t n = std::strftime(text, sizeof text, format, &local);
    return py::str(text, n);
}

}  // namespace tallowby::host
