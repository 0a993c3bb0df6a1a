#include "core/ActivityLog.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Signals.h"

#include <chrono>
#include <thread>
#include <utility>

namespace core {
namespace {

constexpr std::chrono::seconds kBusyRetryLimit{1};
constexpr std::chrono::milliseconds kBusyRetryPause{20};
constexpr std::chrono::seconds kAlertInterval{60};

} // namespace

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
    std::string line;
    try {
        line = platform::generalDate(clock_.now());
        line += " - ";
        line += platform::toCodepage(lineSafe(message));
        append(line + "\r\n");
    } catch (const std::exception& failure) {
        reportUnwritten(line, failure);
    }
}

void ActivityLog::append(const std::string& bytes) const {
    const std::string path = platform::toCodepage(path_);
    const auto giveUp = std::chrono::steady_clock::now() + kBusyRetryLimit;
    for (;;) {
        try {
            platform::appendToFile(path, bytes);
            return;
        } catch (const platform::FileBusy&) {
            if (std::chrono::steady_clock::now() >= giveUp || platform::stopRequested()) {
                throw;
            }
        }
        std::this_thread::sleep_for(kBusyRetryPause);
    }
}

// The line is in the system's code set already, as standard error takes it.
void ActivityLog::reportUnwritten(const std::string& line, const std::exception& failure) noexcept {
    try {
        const std::string why = std::string(logtext::kLogError) + platform::describe(failure);
        // Appended rather than joined with +, which g++ 12 at -O3 warns of wrongly (-Wrestrict).
        std::string notLogged = why;
        notLogged += logtext::kNotLogged;
        std::string text = platform::toCodepage(notLogged);
        text += line;
        platform::reportOnStandardError(text);
        const std::time_t now = clock_.now();
        if (!lastAlert_ || now < *lastAlert_ ||
            std::chrono::seconds(now - *lastAlert_) >= kAlertInterval) {
            lastAlert_ = now;
            box_.show(why);
        }
    } catch (const std::exception&) {
        // Nothing is left to tell of it.
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
