#pragma once

#include <chrono>
#include <ctime>
#include <string>

namespace platform {

// The time of day, as the log dates its lines, and a steady time, by which the monitor times
// its waits whatever becomes of the time of day.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::time_t now() const = 0;
    virtual std::chrono::steady_clock::time_point steadyNow() const = 0;
};

class SystemClock final : public Clock {
public:
    std::time_t now() const override { return std::time(nullptr); }
    std::chrono::steady_clock::time_point steadyNow() const override {
        return std::chrono::steady_clock::now();
    }
};

// A local time as the locale's short date, a blank and the long time with seconds; exactly
// midnight shows the date alone. Under the C or POSIX locale (C.UTF-8 too) it is
// "YYYY-MM-DD HH:MM:SS", midnight included. The text is in the locale's code set.
std::string generalDate(std::time_t time);

} // namespace platform
