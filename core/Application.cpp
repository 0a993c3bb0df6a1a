#include "core/Application.h"

#include "core/CommandLine.h"
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

// How the watched directory stands at start-up, for the start-up line.
std::string directoryState(platform::WatchedDirectory& operations, const std::string& directory) {
    if (platform::directoryExists(directory)) {
        return " (exists)";
    }
    platform::EntryKind kind = platform::EntryKind::Missing;
    try {
        kind = operations.kind(directory);
    } catch (const std::exception&) {
    }
    return kind == platform::EntryKind::Missing
               ? " (missing: jobs are taken once it has been created)"
               : " (not a folder: jobs are taken once a folder takes its place)";
}

} // namespace

Application::Application(platform::Platform& platform, platform::AlertBox& box)
    : platform_(platform), log_(platform.locations().logFile, platform.clock(), box),
      settingsFile_(platform.locations().settingsFile, log_) {}

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
        std::string line = "settings " + settingsFile_.path() + ", log " + log_.path() +
                           ", watched directory " + watchedDirectory +
                           directoryState(platform_.directory(), watchedDirectory);
        for (std::size_t row = 0; row < settings_.outputs.size(); ++row) {
            if (settings_.outputs[row].targetCut) {
                line += "; output " + std::to_string(row + 1) + " is not used: its target is " +
                        "longer than " + std::to_string(kMaxValueBytes) + " bytes";
            }
        }
        tellUser(line);
        return true;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kMain, failure);
        tellUser("cannot start: " + platform::describe(failure));
        return false;
    }
}

std::optional<int> Application::answer(const std::vector<std::string>& arguments,
                                       std::string_view version) {
    const commandline::Parsed parsed = commandline::parse(arguments);
    switch (parsed.request) {
    case commandline::Request::Run:
        return std::nullopt;
    case commandline::Request::Version:
        std::fputs(commandline::versionText(version).c_str(), stdout);
        return 0;
    case commandline::Request::Help: {
        Settings stored;
        settingsFile_.load(stored, platform::defaultMonitorDirectory(platform_.locations()));
        const std::string text =
            commandline::helpText(settingsFile_.path(), log_.path(), stored.monitorDirectory);
        std::fputs(platform::toCodepage(text).c_str(), stdout);
        return 0;
    }
    case commandline::Request::Unknown:
        break;
    }
    std::fputs(platform::toCodepage(commandline::unknownArgumentText(parsed.argument)).c_str(),
               stderr);
    return commandline::kUsageExitCode;
}

} // namespace core
