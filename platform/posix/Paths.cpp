#include "platform/Paths.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {
std::string overriddenDirectory;
std::string overriddenHome;
} // namespace

void overrideApplicationDirectory(std::string directory) {
    overriddenDirectory = std::move(directory);
}

void overrideHomeDirectory(std::string directory) {
    overriddenHome = std::move(directory);
}

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

// Whether the two paths (operating system's form) name one existing directory.
bool sameDirectory(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           S_ISDIR(first.st_mode) && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '/';
    path += name;
    return path;
}

std::string applicationDirectory() {
    if (!overriddenDirectory.empty()) {
        return overriddenDirectory;
    }
    const std::string executable = executablePath();
    const std::size_t slash = executable.rfind('/');
    // The root keeps its separator; every other directory comes without one.
    return fromCodepage(slash == 0 ? std::string("/") : executable.substr(0, slash));
}

bool isProgramFile(const std::string& directory, std::string_view name) {
    const std::string executable = executablePath();
    const std::string_view executableName =
        std::string_view(executable).substr(executable.rfind('/') + 1);
    const std::string osName = toCodepage(name);
    if (osName != "tarvo.ini" && osName != "tarvo.ini.tmp" && osName != "Tarvo.log" &&
        osName != executableName) {
        return false;
    }
    return sameDirectory(toCodepage(directory), toCodepage(applicationDirectory()));
}

std::string homeDirectory() {
    if (!overriddenHome.empty()) {
        return overriddenHome;
    }
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return fromCodepage(found->pw_dir);
}

bool directoryExists(const std::string& path) {
    struct stat info {};
    return ::stat(toCodepage(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isReservedFileName(std::string_view) {
    return false;
}

std::string defaultMonitorDirectory() {
    return homeDirectory() + "/Tarvo";
}

} // namespace platform
