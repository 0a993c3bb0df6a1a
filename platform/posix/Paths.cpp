#include "platform/Paths.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cerrno>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {
std::string overriddenDirectory;
}

void overrideApplicationDirectory(std::string directory) {
    overriddenDirectory = std::move(directory);
}

std::string applicationDirectory() {
    if (!overriddenDirectory.empty()) {
        return overriddenDirectory;
    }
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            throwSystemError(errno);
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            std::string executable(buffer.data(), static_cast<std::size_t>(length));
            const std::size_t slash = executable.rfind('/');
            // The root keeps its separator; every other directory comes without one.
            return fromCodepage(slash == 0 ? std::string("/") : executable.substr(0, slash));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string homeDirectory() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
        found == nullptr || found->pw_dir == nullptr) {
        return {};
    }
    return fromCodepage(found->pw_dir);
}

std::string defaultMonitorDirectory() {
    return homeDirectory() + "/Tarvo";
}

} // namespace platform
