#include "platform/Clock.h"

namespace platform {
namespace {
Clock currentClock;
}

void setClock(Clock clock) {
    currentClock = std::move(clock);
}

std::time_t now() {
    return currentClock ? currentClock() : std::time(nullptr);
}

std::string generalDate(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    const bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
    char text[256];
    const std::size_t length = std::strftime(text, sizeof text, midnight ? "%x" : "%x %X", &local);
    return std::string(text, length);
}

} // namespace platform
