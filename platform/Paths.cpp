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

bool isPlainFileName(std::string_view name) {
    constexpr std::string_view kOutside("/\\\0", 3);
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(kOutside) == std::string_view::npos;
}

// A directory is compared only for one of the program's names, which the monitor asks about
// for every file it looks at.
bool isProgramFile(const Locations& locations, const std::string& directory,
                   std::string_view name) {
    const std::string_view settings = fileNameOf(locations.settingsFile);
    const bool settingsOrItsCopy =
        system::sameFileName(name, settings) ||
        (name.size() == settings.size() + kSaveSuffix.size() &&
         system::sameFileName(name.substr(0, settings.size()), settings) &&
         system::sameFileName(name.substr(settings.size()), kSaveSuffix));
    const auto in = [&](std::string_view ownDirectory) {
        return system::sameDirectory(directory, std::string(ownDirectory));
    };
    return (system::sameFileName(name, locations.executableName) &&
            in(locations.applicationDirectory)) ||
           (settingsOrItsCopy && in(directoryPart(locations.settingsFile))) ||
           (system::sameFileName(name, fileNameOf(locations.logFile)) &&
            in(directoryPart(locations.logFile)));
}

} // namespace platform
