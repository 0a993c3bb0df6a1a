#include "platform/Paths.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/SystemPaths.h"
#include "platform/posix/PrivateDirectory.h"
#include "platform/posix/ProgramLocations.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// The running executable's path in the operating system's form.
std::string executablePath() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            throwSystemError(errno);
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool isRegular(const std::string& path) {
    struct stat info {};
    return ::stat(toCodepage(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '/';
    path += name;
    return path;
}

bool directoryExists(const std::string& path) {
    struct stat info {};
    return ::stat(toCodepage(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isReservedFileName(std::string_view) {
    return false;
}

std::string defaultMonitorDirectory(const Locations& locations) {
    return locations.homeDirectory + "/Tarvo";
}

Locations systemLocations() {
    const std::string executable = executablePath();
    const std::size_t slash = executable.rfind('/');
    Locations locations;
    // The root keeps its separator; every other directory comes without one.
    locations.applicationDirectory =
        fromCodepage(slash == 0 ? std::string("/") : executable.substr(0, slash));
    locations.executableName = fromCodepage(executable.substr(slash + 1));
    // The home directory of the password database: $HOME is not read.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
        locations.homeDirectory = fromCodepage(found->pw_dir);
    }
    // The user's own directories follow the XDG rules, which read the environment.
    const auto variable = [](const char* name) {
        const char* value = std::getenv(name);
        return fromCodepage(value != nullptr ? value : "");
    };
    const std::string home = variable("HOME");
    const ProgramLocations files = programLocations(
        locations.applicationDirectory, [](const std::string& path) { return isRegular(path); },
        {variable("XDG_CONFIG_HOME"), variable("XDG_STATE_HOME"),
         home.empty() ? locations.homeDirectory : home});
    if (files.installed) {
        makePrivateDirectories(toCodepage(files.settingsDirectory));
        makePrivateDirectories(toCodepage(files.logDirectory));
    }
    locations.settingsFile = files.settingsFile;
    locations.logFile = files.logFile;
    return locations;
}

namespace system {

// Names are bytes: two names are one file's only when they are the same bytes.
bool sameFileName(std::string_view a, std::string_view b) {
    return a == b;
}

bool sameDirectory(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(toCodepage(a).c_str(), &first) == 0 &&
           ::stat(toCodepage(b).c_str(), &second) == 0 && S_ISDIR(first.st_mode) &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace system

} // namespace platform
