#pragma once

#include "platform/AlertBox.h"
#include "platform/Clock.h"

#include <ctime>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// "Tarvo.log": one dated line per job taken and per failure. Opened and closed for every line,
// so that other programs may read, copy or remove it between lines. A log that cannot be written
// never stops the program: its lines go to standard error instead.
class ActivityLog {
public:
    // Lines go to path (text), dated by clock. A line that cannot be written goes to standard
    // error with why; box tells of it, at most once a minute.
    ActivityLog(std::string path, const platform::Clock& clock, platform::AlertBox& box);

    // Appends "<general date> - <message>". A file that another program holds for a moment is
    // tried again for up to a second, unless a stop is requested. Never throws.
    void write(std::string_view message);

    // Writes the failure line of a step: its prefix followed by the failure's description.
    void writeFailure(std::string_view prefix, const std::exception& failure);

    const std::string& path() const { return path_; }

    // From now on keeps the lines written instead of writing them, until takeHeld(): for an
    // attempt whose lines are worth writing only when it succeeds.
    void hold() { holding_ = true; }
    // The lines kept since hold(), which end; lines are written again from now on.
    std::vector<std::string> takeHeld();

private:
    void append(const std::string& bytes) const;
    void reportUnwritten(const std::string& line, const std::exception& failure) noexcept;

    const std::string path_;
    const platform::Clock& clock_;
    platform::AlertBox& box_;
    bool holding_ = false;
    std::vector<std::string> held_;
    // When the box last told of a line that the log could not take.
    std::optional<std::time_t> lastAlert_;
};

// The message with every control character shown as "?", as a terminal listing shows it: a
// job file named with a line break must not split its line in two or forge a line of its own.
std::string lineSafe(std::string_view message);

} // namespace core
