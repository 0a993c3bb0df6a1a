#include "core/modMain.h"

#include "core/Prefixes.h"
#include "core/modConfig.h"
#include "platform/Clock.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"

#include <cstdio>

namespace modMain {

namespace {

// The message with every control character shown as "?", as a terminal listing shows it: a
// job file named with a line break must not split its line in two or forge a line of its own.
std::string lineSafe(std::string_view message) {
    std::string safe(message);
    for (char& c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = '?';
        }
    }
    return safe;
}

std::string logPath() {
    return platform::joinPath(platform::applicationDirectory(), "Tarvo.log");
}

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

bool Main(modConfig::Settings& settings,
          const std::function<void(const std::string& strWatchDir)>& loadMainWindow) {
    try {
        settings.strIniPath = platform::joinPath(platform::applicationDirectory(), "tarvo.ini");
        const platform::InstanceClaim instance = platform::claimSingleInstance();
        if (!instance.claimed) {
            tellUser(instance.runningProcess > 0
                         ? "already running (process " + std::to_string(instance.runningProcess) +
                               "), so this start ends"
                         : "already running, so this start ends");
            return false;
        }
        modConfig::getIni(settings);
        const std::string strWatchDir = settings.strMonitorPath;
        platform::probeDirectory(platform::toCodepage(strWatchDir));
        loadMainWindow(strWatchDir);
        tellUser("settings " + settings.strIniPath + ", log " + logPath() + ", watched directory " +
                 strWatchDir +
                 (platform::directoryExists(strWatchDir)
                      ? " (exists)"
                      : " (missing: jobs are taken once it has been created)"));
        return true;
    } catch (const std::exception& failure) {
        logFailure(prefix::kMain, failure);
        tellUser("cannot start: " + platform::describe(failure));
        return false;
    }
}

void logError(std::string_view message) {
    try {
        const std::string path = platform::toCodepage(logPath());
        std::string line = platform::generalDate(platform::now());
        line += " - ";
        line += platform::toCodepage(lineSafe(message));
        line += "\r\n";
        platform::appendToFile(path, line);
    } catch (const std::exception& failure) {
        platform::showMessageBox(std::string(prefix::kLogError) + platform::describe(failure));
    }
}

void logFailure(std::string_view prefix, const std::exception& failure) {
    std::string message(prefix);
    message += platform::describe(failure);
    logError(message);
}

} // namespace modMain
