#include "ui/logic/TrayStatus.h"

#include "core/LogTexts.h"
#include "core/OutputType.h"
#include "platform/Clock.h"

#include <algorithm>
#include <string_view>

namespace ui::logic {
namespace {

constexpr std::string_view kPaused = "paused";
constexpr std::chrono::minutes kNotificationInterval{1};

std::string titleOf(int output) {
    return std::string(logtext::kOutput) + std::to_string(output) +
           std::string(logtext::kNotDelivered);
}

// The text cut to at most size bytes, ending in "..." when cut; never inside a UTF-8 character.
std::string cut(const std::string& text, std::size_t size) {
    if (text.size() <= size) {
        return text;
    }
    constexpr std::string_view kEllipsis = "...";
    std::size_t end = size > kEllipsis.size() ? size - kEllipsis.size() : 0;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end) + std::string(kEllipsis.substr(0, size - end));
}

} // namespace

Notification notificationOf(const routing::UndeliveredSection& section) {
    std::string text = std::string(outputtype::name(section.type)) +
                       std::string(logtext::kTargetOpen) + section.target +
                       std::string(logtext::kTargetClose) + section.reason + "\n";
    text += section.keptAs ? std::string(logtext::kKeptIn) + *section.keptAs
                           : std::string(logtext::kNotKeptSeeLog);
    return {titleOf(section.output), text};
}

Notification notificationOf(const routing::HeldBackJob& job) {
    const routing::SpooledSection& section = job.section;
    std::string text = std::string(logtext::kSection) + std::to_string(section.ordinal) +
                       std::string(logtext::kOfJob) + section.jobName +
                       std::string(logtext::kOutputInText) + std::to_string(section.output) +
                       std::string(logtext::kWaitsSince) + platform::generalDate(section.spooledAt);
    if (!job.message.empty()) {
        text += std::string(logtext::kBecause) + job.message;
    }
    return {std::string(logtext::kPrinter) + section.printer + std::string(logtext::kHoldsBackAJob),
            text};
}

bool TrayStatus::spoolJobHeldBack(const routing::HeldBackJob& job, SteadyTime now) {
    const auto notified = printerNotified_.find(job.section.printer);
    if (notified != printerNotified_.end() && now < notified->second + kNotificationInterval) {
        return false;
    }
    printerNotified_[job.section.printer] = now;
    return true;
}

bool TrayStatus::sectionNotDelivered(const routing::UndeliveredSection& section,
                                     const std::string& when, SteadyTime now,
                                     bool configWindowOpen) {
    failure_ = when + std::string(logtext::kAt) + std::string(logtext::kOutput) +
               std::to_string(section.output) + std::string(logtext::kBecause) + section.reason;
    sectionFailedInJob_ = true;
    std::optional<SteadyTime>& notified =
        notified_.at(static_cast<std::size_t>(section.output - 1));
    if (configWindowOpen || (notified && now < *notified + kNotificationInterval)) {
        return false;
    }
    notified = now;
    return true;
}

void TrayStatus::jobEnded(bool allDelivered, const std::string& when) {
    if (allDelivered) {
        failure_.clear();
    } else if (!sectionFailedInJob_) {
        failure_ = when + std::string(logtext::kAt) + std::string(logtext::kJobFailedSeeLog);
    }
    sectionFailedInJob_ = false;
}

TrayIcon TrayStatus::icon() const {
    if (monitorStopped_ || paused_) {
        return TrayIcon::Stopped;
    }
    return failure_.empty() && printers_.empty() ? TrayIcon::Normal : TrayIcon::Warning;
}

// The first line keeps at least half the room when the others are long.
std::string TrayStatus::tooltip(const std::string& firstLine) const {
    std::string rest;
    if (!printers_.empty()) {
        rest = logtext::kWaitingOn;
        for (std::size_t i = 0; i < printers_.size(); ++i) {
            if (i > 0) {
                rest += logtext::kAnd;
            }
            rest += printers_[i].printer;
            if (!printers_[i].message.empty()) {
                rest += std::string(logtext::kMessageOpen) + printers_[i].message +
                        std::string(logtext::kMessageClose);
            }
        }
    }
    if (paused_) {
        if (!rest.empty()) {
            rest += '\n';
        }
        rest += kPaused;
    }
    if (!failure_.empty()) {
        rest += (rest.empty() ? "" : "\n") + failure_;
    }
    if (rest.empty()) {
        return firstLine;
    }
    const std::size_t room = kTooltipLimit - 1;
    const std::size_t first =
        std::min(firstLine.size(), std::max(room / 2, room - std::min(rest.size(), room)));
    return cut(firstLine, first) + "\n" + cut(rest, room - first);
}

} // namespace ui::logic
