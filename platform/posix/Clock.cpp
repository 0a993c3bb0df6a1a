#include "platform/Clock.h"

#include <clocale>
#include <string_view>

namespace platform {
namespace {

// Whether dates follow the C or POSIX locale, as services and cron jobs run: its short date
// has a two-digit year and no regional form that a reader would expect.
bool cLocale() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    const std::string_view locale = name != nullptr ? name : "C";
    return locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}

} // namespace

std::string generalDate(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    const char* format = cLocale() ? "%Y-%m-%d %H:%M:%S" : midnight ? "%x" : "%x %X";
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

} // namespace platform
