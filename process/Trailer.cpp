// Section trailers: line ends trimmed, then what the output's type asks for.
#include "process/JobState.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Failure.h"

#include <algorithm>
#include <string>

namespace modProcess {
namespace {

// Four CR LF pairs: a label takes two of them, a ticket three, a duplicate ticket all four.
constexpr std::uint8_t kLineEnds[] = {0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A, 0x0D, 0x0A};
constexpr std::uint8_t kFormFeed[] = {0x0C};

void appendLineEnds(JobState& s, std::size_t pairs) {
    send(s, kLineEnds, 2 * pairs);
}

// The trimmed section again, read back from the job in chunks and rewritten as it was the
// first time. False when the job no longer holds it.
bool appendCopyOfSection(JobState& s) {
    std::uint64_t offset = s.nDataStart;
    for (std::uint64_t left = s.nSectionLength; left > 0 && !s.bWriteFailed;) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, s.nScratchSize));
        if (!readBack(s, offset, s.scratch.get(), chunk)) {
            return false;
        }
        rewriteFormFeeds(s.scratch.get(), chunk);
        send(s, s.scratch.get(), chunk);
        offset += chunk;
        left -= chunk;
    }
    return true;
}

} // namespace

void AddTrailer(JobState& s) {
    // Trim: the held line ends are never written. A section of line ends only (or of nothing)
    // gets no trailer.
    s.nLineEnds = 0;
    if (s.nSectionLength == 0) {
        modMain::logError(std::string(prefix::kAddTrailer) +
                          platform::description::kSubscriptOutOfRange);
        return;
    }
    switch (s.outputType) {
    case OutputType::Label:
        appendLineEnds(s, 2);
        break;
    case OutputType::Ticket:
        appendLineEnds(s, 3);
        break;
    case OutputType::DupTicket:
        appendLineEnds(s, 4);
        if (appendCopyOfSection(s)) {
            send(s, kFormFeed, sizeof kFormFeed);
        }
        break;
    default:
        break;
    }
}

} // namespace modProcess
