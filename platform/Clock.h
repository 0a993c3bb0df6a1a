#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace platform {

using Clock = std::function<std::time_t()>;

// Replaces the clock that now() reads; an empty clock restores the system's.
void setClock(Clock clock);

std::time_t now();

// The user's "general date" form of a local time: the locale's short date, one blank and the
// long time with seconds; a time of exactly midnight shows the date alone. Under the C or POSIX
// locale (and its variants such as C.UTF-8) it is "YYYY-MM-DD HH:MM:SS" instead, midnight
// included. The text is in the locale's code set.
std::string generalDate(std::time_t time);

} // namespace platform
