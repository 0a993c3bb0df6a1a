#pragma once

#include "process/DeliveryObserver.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace ui::logic {

// What the tray icon's menu offers.
enum class TrayCommand {
    Configure,
    OpenLog,
    OpenWatchedFolder,
    OpenFailedJobs,
    PauseMonitoring,
    Terminate,
};

struct TrayMenuItem {
    TrayCommand command;
    // In UTF-8.
    std::string_view caption;
    // Whether a separator stands before it.
    bool separated;
};

// The menu, top to bottom. "Configuration" ends in an ellipsis (U+2026); "Pause monitoring" is
// a check item.
inline constexpr std::array<TrayMenuItem, 6> kTrayMenu = {{
    {TrayCommand::Configure, "Configuration\xE2\x80\xA6", false},
    {TrayCommand::OpenLog, "Open log", true},
    {TrayCommand::OpenWatchedFolder, "Open watched folder", false},
    {TrayCommand::OpenFailedJobs, "Open failed jobs", false},
    {TrayCommand::PauseMonitoring, "Pause monitoring", true},
    {TrayCommand::Terminate, "Terminate", true},
}};

// Above those, the menu lists the spool jobs held back, at most this many: on Windows an item
// opens its printer's queue, elsewhere it only tells.
inline constexpr std::size_t kHeldBackItemsShown = 10;

// The item of a job held back: "<printer>: job <id> since <time> - <message>".
std::string heldBackCaption(const routing::HeldBackJob& job);

} // namespace ui::logic
