#pragma once

#include "core/ActivityLog.h"
#include "core/OutputType.h"
#include "process/JobReader.h"
#include "process/OutputChannel.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

namespace routing {

// The section being delivered. Its bytes arrive in spans, at most one per block; CR and LF at a
// span's end are held back until a later byte shows they do not end the section, then read back
// from the job. After a failed write nothing more of the section is written.
class Section {
public:
    Section(OutputType type, std::uint64_t dataStart, OutputChannel& channel, JobReader& reader,
            core::ActivityLog& log);

    // The next count bytes, at data in the reader's block; 0xFF becomes 0x0C in place. At most
    // once per block, so that held line ends always lie before the block.
    void deliver(std::uint8_t* data, std::size_t count);

    // Drops the line ends held back, appends the type's trailer and completes the delivery.
    // A section that is empty after trimming delivers nothing. Failures are logged; returns the
    // description of the one that kept the section from its output, nothing when it was delivered
    // or had nothing to deliver.
    std::optional<std::string> close();

private:
    void send(const std::uint8_t* data, std::size_t count);
    void sendHeldLineEnds();
    bool sendCopy();
    void appendTrailer();

    const OutputType type_;
    const std::uint64_t dataStart_;
    OutputChannel& channel_;
    JobReader& reader_;
    core::ActivityLog& log_;
    // The section's bytes so far that are not held back (given to the channel, or dropped
    // after a failed write), and the line ends after them that are.
    std::uint64_t length_ = 0;
    std::uint64_t heldLineEnds_ = 0;
    // The first failed write.
    std::exception_ptr writeFailure_;
};

} // namespace routing
