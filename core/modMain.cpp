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

namespace modMain {

std::string strWatchDir;

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

} // namespace

bool Main(const std::function<void()>& loadMainWindow) {
    try {
        modConfig::settings.strIniPath =
            platform::joinPath(platform::applicationDirectory(), "tarvo.ini");
        if (!platform::claimSingleInstance()) {
            return false;
        }
        modConfig::getIni();
        strWatchDir = modConfig::settings.strMonitorPath;
        platform::probeDirectory(platform::toCodepage(strWatchDir));
        loadMainWindow();
        return true;
    } catch (const std::exception& failure) {
        logFailure(prefix::kMain, failure);
        return false;
    }
}

void logError(std::string_view message) {
    try {
        const std::string path =
            platform::toCodepage(platform::joinPath(platform::applicationDirectory(), "Tarvo.log"));
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
