#include "process/FailedSections.h"

#include "core/LogTexts.h"
#include "platform/Failure.h"

#include <limits>

namespace routing {
namespace {

std::uint64_t bytesOfMiB(std::uint64_t mebibytes) {
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    return mebibytes > (kLargest >> 20) ? kLargest : mebibytes << 20;
}

} // namespace

std::string keptSectionName(const std::string& jobName, std::uint64_t ordinal) {
    return jobName + ".section" + std::to_string(ordinal);
}

std::string sectionOfJob(std::uint64_t ordinal, const std::string& jobName) {
    return std::string(logtext::kSection) + std::to_string(ordinal) + std::string(logtext::kOfJob) +
           jobName;
}

void checkFailedRoom(std::uint64_t held, std::uint64_t bytes, std::uint64_t failedMaxMiB) {
    const std::uint64_t limit = bytesOfMiB(failedMaxMiB);
    if (held > limit || bytes > limit - held) {
        throw platform::Failure(std::string(logtext::kFailedWouldHold) +
                                std::to_string(failedMaxMiB) + std::string(logtext::kMiB));
    }
}

} // namespace routing
