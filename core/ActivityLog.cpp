#include "core/ActivityLog.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"

#include <utility>

namespace core {

std::string lineSafe(std::string_view message) {
    std::string safe(message);
    for (char& c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return safe;
}

ActivityLog::ActivityLog(std::string path, const platform::Clock& clock, platform::AlertBox& box)
    : path_(std::move(path)), clock_(clock), box_(box) {}

void ActivityLog::write(std::string_view message) {
    if (holding_) {
        held_.emplace_back(message);
        return;
    }
    try {
        std::string line = platform::generalDate(clock_.now());
        line += " - ";
        line += platform::toCodepage(lineSafe(message));
        line += "\r\n";
        platform::appendToFile(platform::toCodepage(path_), line);
    } catch (const std::exception& failure) {
        box_.show(std::string(logtext::kLogError) + platform::describe(failure));
    }
}

std::vector<std::string> ActivityLog::takeHeld() {
    holding_ = false;
    return std::exchange(held_, {});
}

void ActivityLog::writeFailure(std::string_view prefix, const std::exception& failure) {
    std::string message(prefix);
    message += platform::describe(failure);
    write(message);
}

} // namespace core
