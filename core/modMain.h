#pragma once

#include "core/modConfig.h"

#include <exception>
#include <functional>
#include <string>
#include <string_view>

// Start-up and the activity log.
namespace modMain {

// Start-up. Fixes the settings path, ends at once when another instance runs, loads the
// settings, fixes and probes the watched directory (a copy of the configured monitor directory,
// taken once), then loads the main window through loadMainWindow, which is given the watched
// directory. Returns true when the main window was loaded and the program should live on in its
// event loop; false when start-up ended (another instance, or a failure that was logged).
bool Main(modConfig::Settings& settings,
          const std::function<void(const std::string& strWatchDir)>& loadMainWindow);

// Appends one dated line "<general date> - <message>" to Tarvo.log in the application
// directory. Never fails outward: when the line cannot be written a message box says so.
void logError(std::string_view message);

// Writes the failure line of a procedure: its prefix followed by the failure's description.
void logFailure(std::string_view prefix, const std::exception& failure);

} // namespace modMain
