#pragma once

#include "core/Settings.h"
#include "process/DeliveryObserver.h"
#include "process/SpoolFollower.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace ui::logic {

// The tray icon's image: the program's icon, or the icon with a badge.
enum class TrayIcon {
    Normal,
    // A section or a job failed, and nobody has looked since; or a printer holds back a job or
    // cannot be asked.
    Warning,
    // The monitor takes no jobs: a work file stopped it, or the user paused it.
    Stopped,
};

// The most of a tooltip that Windows shows, in bytes.
inline constexpr std::size_t kTooltipLimit = 127;

struct Notification {
    std::string title;
    std::string text;
};

// What a notification says of a section not delivered: its output, the reason, and where the
// section was kept.
Notification notificationOf(const routing::UndeliveredSection& section);

// What a notification says of a spool job held back: the printer, the section, since when and
// the printer's message.
Notification notificationOf(const routing::HeldBackJob& job);

// What the tray shows of the program's state, from what happened to it; the times come from
// the caller.
class TrayStatus {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    // A section not delivered at when (dated as the log dates its lines), now on a steady clock.
    // True when a notification is due: the configuration window is not open, and none was due
    // for the section's output within the last minute.
    bool sectionNotDelivered(const routing::UndeliveredSection& section, const std::string& when,
                             SteadyTime now, bool configWindowOpen);
    // A spool job held back, now on a steady clock. True when a notification is due: none was
    // due for its printer within the last minute.
    bool spoolJobHeldBack(const routing::HeldBackJob& job, SteadyTime now);
    // The printers that hold back a job named, or cannot be asked, as the follower has them now.
    void setPrinters(std::vector<routing::SpoolFollower::PrinterNote> printers) {
        printers_ = std::move(printers);
    }
    // A job that went through without failure ends the warning; one that failed without a
    // section's failure (not processed at all) begins it.
    void jobEnded(bool allDelivered, const std::string& when);
    // The user looks: the warning ends.
    void configWindowOpened() { failure_.clear(); }
    void setMonitorStopped(bool stopped) { monitorStopped_ = stopped; }
    void setPaused(bool paused) { paused_ = paused; }

    bool paused() const { return paused_; }
    TrayIcon icon() const;
    // firstLine; then the printers that hold back a job or cannot be asked, "paused" while paused,
    // and the last failure while the warning stands, within kTooltipLimit bytes, the first line
    // cut before the others.
    std::string tooltip(const std::string& firstLine) const;

private:
    // The tooltip's line of the failure that the warning stands for; empty while there is none.
    std::string failure_;
    bool sectionFailedInJob_ = false;
    bool monitorStopped_ = false;
    bool paused_ = false;
    std::vector<routing::SpoolFollower::PrinterNote> printers_;
    // When a notification was last due, per output, and per printer of jobs held back.
    std::array<std::optional<SteadyTime>, core::kOutputs> notified_;
    std::map<std::string, SteadyTime> printerNotified_;
};

} // namespace ui::logic
