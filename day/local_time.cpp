#include "day/local_time.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace day {

std::string LocalTimestamp(std::time_t moment) {
    std::tm local{};
    // Fails only for years beyond int; a clock reading never is one.
    if (localtime_r(&moment, &local) == nullptr) return "1970-01-01T00:00:00+00:00";
    const long offset = local.tm_gmtoff;  // seconds east of UTC
    const long minutes = std::labs(offset) / 60;
    std::array<char, 100> text{};  // room for any int the compiler may imagine
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return text.data();
}

std::string LocalTimestampNow() { return LocalTimestamp(std::time(nullptr)); }

}  // namespace day
