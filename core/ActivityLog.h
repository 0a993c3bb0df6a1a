#pragma once

#include "platform/AlertBox.h"
#include "platform/Clock.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// "Tarvo.log": one dated line per job taken and per failure. Opened and closed for every line,
// so that other programs may read, copy or remove it between lines.
class ActivityLog {
public:
    // Lines go to path (text), dated by clock; one that cannot be written goes to box, with why.
    ActivityLog(std::string path, const platform::Clock& clock, platform::AlertBox& box);

    // Appends "<general date> - <message>". Never throws.
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
    const std::string path_;
    const platform::Clock& clock_;
    platform::AlertBox& box_;
    bool holding_ = false;
    std::vector<std::string> held_;
};

// The message with every control character shown as "?", as a terminal listing shows it: a
// job file named with a line break must not split its line in two or forge a line of its own.
std::string lineSafe(std::string_view message);

} // namespace core
