#pragma once

#include <ctime>
#include <string>

namespace platform {

// The time of day, as the log dates its lines and the monitor times its waits.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t now() const = 0;
};

// The system's clock.
class SystemClock final : public Clock {
public:
    std::time_t now() const override { return std::time(nullptr); }
};

// The user's "general date" form of a local time: the locale's short date, one blank and the
// long time with seconds; a time of exactly midnight shows the date alone. Under the C or POSIX
// locale (and its variants such as C.UTF-8) it is "YYYY-MM-DD HH:MM:SS" instead, midnight
// included. The text is in the locale's code set.
std::string generalDate(std::time_t time);

} // namespace platform
