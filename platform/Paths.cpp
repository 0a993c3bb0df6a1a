#include "platform/Paths.h"

#include "platform/SystemPaths.h"

#include <string>

namespace platform {

namespace {

constexpr std::string_view kSaveSuffix = ".tmp";

std::string_view directoryPart(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\");
    return separator == std::string_view::npos ? std::string_view(".")
                                               : path.substr(0, separator == 0 ? 1 : separator);
}

} // namespace

std::string_view fileNameOf(std::string_view path) {
    return path.substr(path.find_last_of("/\\") + 1);
}

// A directory is compared only for one of the program's names, which the monitor asks about
// for every file it looks at.
bool isProgramFile(const Locations& locations, const std::string& directory,
                   std::string_view name) {
    const std::string_view settings = fileNameOf(locations.settingsFile);
    const auto is = [&](std::string_view own, std::string_view ownDirectory) {
        return system::sameFileName(name, own) &&
               system::sameDirectory(directory, std::string(ownDirectory));
    };
    return is(locations.executableName, locations.applicationDirectory) ||
           is(settings, directoryPart(locations.settingsFile)) ||
           is(std::string(settings) + std::string(kSaveSuffix),
              directoryPart(locations.settingsFile)) ||
           is(fileNameOf(locations.logFile), directoryPart(locations.logFile));
}

} // namespace platform
