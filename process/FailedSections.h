#pragma once

#include "platform/WatchedDirectory.h"

#include <cstdint>
#include <string>

namespace routing {

// The name under which a section not delivered is kept in "failed": the job's name, ".section"
// and the section's ordinal in the job.
std::string keptSectionName(const std::string& jobName, std::uint64_t ordinal);

// A log line's words for a section: "Section <n> of <job>".
std::string sectionOfJob(std::uint64_t ordinal, const std::string& jobName);

// Throws Failure ("failed would hold more than <limit> MiB") unless "failed", which holds held
// bytes, has room under the limit for bytes more.
void checkFailedRoom(std::uint64_t held, std::uint64_t bytes, std::uint64_t failedMaxMiB);

} // namespace routing
