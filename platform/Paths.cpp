#include "platform/Paths.h"

#include "platform/SystemPaths.h"

#include <array>

namespace platform {

// The directory is compared only for one of the program's names, which the monitor asks about
// for every file it looks at.
bool isProgramFile(const Locations& locations, const std::string& directory,
                   std::string_view name) {
    constexpr std::array<std::string_view, 3> kOwnFiles = {"tarvo.ini", "tarvo.ini.tmp",
                                                           "Tarvo.log"};
    bool own = system::sameFileName(name, locations.executableName);
    for (const std::string_view file : kOwnFiles) {
        own = own || system::sameFileName(name, file);
    }
    return own && system::sameDirectory(directory, locations.applicationDirectory);
}

} // namespace platform
