#include "process/NamedFileHeader.h"

#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Paths.h"

#include <algorithm>

namespace modProcess {
namespace {

constexpr std::int32_t kNameStart = 5;
constexpr std::int32_t kLastTerminatorIndex = 100;
constexpr char kTerminator = '|';
constexpr const char* kNameNotAllowed = "File name not allowed";

} // namespace

NamedFileHeader readNamedFileHeader(const std::uint8_t* job, std::int32_t length,
                                    std::int32_t markerIndex) {
    if (markerIndex != 0) {
        throw platform::Failure(platform::description::kBadFileName);
    }
    const std::int32_t last = std::min(kLastTerminatorIndex, length - 1);
    for (std::int32_t i = kNameStart; i <= last; ++i) {
        if (job[i] == kTerminator) {
            return {std::string(reinterpret_cast<const char*>(job) + kNameStart,
                                static_cast<std::size_t>(i - kNameStart)),
                    i + 1};
        }
    }
    throw platform::Failure(platform::description::kBadFileName);
}

void checkFileName(const std::string& directory, const std::string& name) {
    if (directory.empty() || name == "." || name == ".." || platform::isReservedFileName(name)) {
        throw platform::Failure(kNameNotAllowed);
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':') {
            throw platform::Failure(kNameNotAllowed);
        }
    }
    if (platform::isProgramFile(directory, platform::fromCodepage(name))) {
        throw platform::Failure(kNameNotAllowed);
    }
}

} // namespace modProcess
