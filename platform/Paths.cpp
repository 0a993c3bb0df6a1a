#include "platform/Paths.h"

#include "platform/SystemPaths.h"

#include <array>

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

std::string applicationDirectory() {
    return overriddenDirectory.empty() ? system::applicationDirectory() : overriddenDirectory;
}

std::string homeDirectory() {
    return overriddenHome.empty() ? system::homeDirectory() : overriddenHome;
}

// The directory is compared only for one of the program's names, which the monitor asks
// about for every file it looks at, ten times a second; the executable's name does not change
// while it runs.
bool isProgramFile(const std::string& directory, std::string_view name) {
    static const std::string executable = system::executableName();
    constexpr std::array<std::string_view, 3> kOwnFiles = {"tarvo.ini", "tarvo.ini.tmp",
                                                           "Tarvo.log"};
    bool own = system::sameFileName(name, executable);
    for (const std::string_view file : kOwnFiles) {
        own = own || system::sameFileName(name, file);
    }
    return own && system::sameDirectory(directory, applicationDirectory());
}

} // namespace platform
