#include "process/NamedFileHeader.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Paths.h"

#include <algorithm>

namespace routing {
namespace {

constexpr std::size_t kNameStart = 5;
constexpr char kTerminator = '|';
constexpr const char* kNameNotAllowed = platform::description::kFileNameNotAllowed;

} // namespace

NamedFileHeader readNamedFileHeader(const std::uint8_t* job, std::size_t length,
                                    std::uint64_t markerOffset) {
    if (markerOffset != 0) {
        throw platform::Failure(platform::description::kBadFileName);
    }
    const std::size_t end = std::min(kNamedFileHeaderLength, length);
    for (std::size_t i = kNameStart; i < end; ++i) {
        if (job[i] == kTerminator) {
            return {std::string(reinterpret_cast<const char*>(job) + kNameStart, i - kNameStart),
                    i + 1};
        }
    }
    throw platform::Failure(platform::description::kBadFileName);
}

void checkFileName(const platform::Locations& program, const std::string& directory,
                   const std::string& name) {
    if (directory.empty() || name == "." || name == ".." || platform::isReservedFileName(name)) {
        throw platform::Failure(kNameNotAllowed);
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':') {
            throw platform::Failure(kNameNotAllowed);
        }
    }
    if (platform::isProgramFile(program, directory, platform::fromCodepage(name))) {
        throw platform::Failure(kNameNotAllowed);
    }
}

} // namespace routing
