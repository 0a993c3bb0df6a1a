#include "core/Application.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <cstdio>

namespace core {
namespace {

// One line on standard error for whoever started the program: before the log and the tray
// icon, it is where they learn what it does. A line that cannot be written is lost.
void tellUser(std::string_view line) {
    try {
        const std::string text = "Tarvo: " + lineSafe(line) + "\n";
        std::fputs(platform::toCodepage(text).c_str(), stderr);
    } catch (const std::exception&) {
    }
}

} // namespace

Application::Application(platform::Platform& platform, platform::AlertBox& box)
    : platform_(platform),
      log_(platform::joinPath(platform.locations().applicationDirectory, "Tarvo.log"),
           platform.clock(), box),
      settingsFile_(platform::joinPath(platform.locations().applicationDirectory, "tarvo.ini"),
                    log_) {}

bool Application::start(
    const std::function<void(const std::string& watchedDirectory)>& loadTrayWindow) {
    try {
        const platform::Locations& locations = platform_.locations();
        instance_.emplace(platform::InstanceLock::claim(locations.homeDirectory));
        if (!instance_->held()) {
            const long running = instance_->runningProcess();
            tellUser(running > 0 ? "already running (process " + std::to_string(running) +
                                       "), so this start ends"
                                 : "already running, so this start ends");
            return false;
        }
        settingsFile_.load(settings_, platform::defaultMonitorDirectory(locations));
        const std::string watchedDirectory = settings_.monitorDirectory;
        platform::probeDirectory(platform::toCodepage(watchedDirectory));
        loadTrayWindow(watchedDirectory);
        tellUser("settings " + settingsFile_.path() + ", log " + log_.path() +
                 ", watched directory " + watchedDirectory +
                 (platform::directoryExists(watchedDirectory)
                      ? " (exists)"
                      : " (missing: jobs are taken once it has been created)"));
        return true;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kMain, failure);
        tellUser("cannot start: " + platform::describe(failure));
        return false;
    }
}

} // namespace core
