#pragma once

#include "core/Settings.h"
#include "process/DeliveryObserver.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

namespace ui::logic {

// The tray icon's image: the program's icon, or the icon with a badge.
enum class TrayIcon {
    Normal,
    // A section or a job failed, and nobody has looked since.
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
    // A job that went through without failure ends the warning; one that failed without a
    // section's failure (not processed at all) begins it.
    void jobEnded(bool allDelivered, const std::string& when);
    // The user looks: the warning ends.
    void configWindowOpened() { failure_.clear(); }
    void setMonitorStopped(bool stopped) { monitorStopped_ = stopped; }
    void setPaused(bool paused) { paused_ = paused; }

    bool paused() const { return paused_; }
    TrayIcon icon() const;
    // firstLine; then "paused" while paused, and the last failure while the warning stands, within
    // kTooltipLimit bytes, the first line cut before the others.
    std::string tooltip(const std::string& firstLine) const;

private:
    // The tooltip's line of the failure that the warning stands for; empty while there is none.
    std::string failure_;
    bool sectionFailedInJob_ = false;
    bool monitorStopped_ = false;
    bool paused_ = false;
    // When a notification was last due, per output.
    std::array<std::optional<SteadyTime>, core::kOutputs> notified_;
};

} // namespace ui::logic
