#pragma once

#include "core/OutputType.h"
#include "platform/Spooler.h"

#include <cstdint>
#include <ctime>
#include <string>

namespace routing {

// A printer section that the spooler took as a spool job of its own: it is done once the job
// has printed, and kept in "failed" when the job ends unprinted.
struct SpooledSection {
    // The output row's target, the printer, and the spooler's id of the job on it.
    std::string printer;
    platform::SpoolJobId spoolJob = 0;
    // The job's own name and the section's ordinal in it, as a kept section is named.
    std::string jobName;
    std::uint64_t ordinal = 0;
    // The output row, 1 to 9, and its type.
    int output = 0;
    OutputType type = OutputType::Unknown;
    // The hidden copy in "failed" of the section as it stood in the job; empty when none could be
    // held.
    std::string heldCopy;
    // When the spooler took it, on the time of day.
    std::time_t spooledAt = 0;

    bool operator==(const SpooledSection&) const = default;
};

} // namespace routing
