#include "platform/posix/ProgramLocations.h"

#include "platform/Paths.h"

#include <stdexcept>

namespace platform {
namespace {

// The marker that makes a copy in executableDirectory an installed one, or "" when that
// directory is not named "bin" (nor is it "/").
std::string markerFor(std::string_view executableDirectory) {
    const std::size_t slash = executableDirectory.rfind('/');
    if (slash == std::string_view::npos || executableDirectory.substr(slash + 1) != "bin") {
        return {};
    }
    return std::string(executableDirectory.substr(0, slash)) + "/" + kInstalledMarker;
}

bool isAbsolute(std::string_view path) {
    return !path.empty() && path.front() == '/';
}

// The path without the separators at its end, the root excepted.
std::string withoutTrailingSlashes(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

// An XDG base directory: the variable's value when it is absolute, else its default below home.
std::string baseDirectory(std::string_view variable, const char* name, std::string_view home,
                          std::string_view belowHome) {
    if (isAbsolute(variable)) {
        return withoutTrailingSlashes(variable);
    }
    if (!isAbsolute(home)) {
        throw std::runtime_error(std::string("no directory for the program's files: ") + name +
                                 " is not set and the home directory is not known");
    }
    const std::string base = withoutTrailingSlashes(home);
    return (base == "/" ? "" : base) + "/" + std::string(belowHome);
}

} // namespace

ProgramLocations programLocations(std::string_view executableDirectory,
                                  const std::function<bool(const std::string&)>& fileExists,
                                  const Environment& environment) {
    ProgramLocations where;
    const std::string marker = markerFor(executableDirectory);
    where.installed = !marker.empty() && fileExists(marker);
    if (where.installed) {
        where.settingsDirectory = baseDirectory(environment.xdgConfigHome, "XDG_CONFIG_HOME",
                                                environment.home, ".config") +
                                  "/tarvo";
        where.logDirectory = baseDirectory(environment.xdgStateHome, "XDG_STATE_HOME",
                                           environment.home, ".local/state") +
                             "/tarvo";
    } else {
        where.settingsDirectory = std::string(executableDirectory);
        where.logDirectory = std::string(executableDirectory);
    }
    where.settingsFile = joinPath(where.settingsDirectory, kSettingsFileName);
    where.logFile = joinPath(where.logDirectory, kLogFileName);
    return where;
}

} // namespace platform
