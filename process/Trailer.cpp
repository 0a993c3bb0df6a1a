// Section trailers: line ends trimmed, then what the output's type asks for.
#include "process/modProcess.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Failure.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace modProcess {
namespace {

constexpr std::uint8_t kCR = 0x0D;
constexpr std::uint8_t kLF = 0x0A;
constexpr std::uint8_t kFormFeed = 0x0C;

void appendLineEnds(int pairs) {
    for (int i = 0; i < pairs; ++i) {
        BufferByte(kCR);
        BufferByte(kLF);
    }
}

// Appends the section's first length bytes again. They hold no 0xFF (every one became 0x0C
// when it was buffered), so copying them is what BufferByte would do byte by byte; bytes that
// find the buffer full go through BufferByte, which logs each one it drops.
void appendCopyOfSection(JobState& s, std::int32_t length) {
    const std::int32_t fits = std::min(length, s.nDestLength - s.destIndex);
    std::memcpy(s.destBuffer.get() + s.destIndex, s.destBuffer.get(),
                static_cast<std::size_t>(fits));
    s.destIndex += fits;
    for (std::int32_t i = fits; i < length; ++i) {
        BufferByte(s.destBuffer[i]);
    }
}

} // namespace

void AddTrailer() {
    JobState& s = jobState;
    // Trim: a section of line ends only (or of nothing) gets no trailer.
    while (s.destIndex > 0 &&
           (s.destBuffer[s.destIndex - 1] == kCR || s.destBuffer[s.destIndex - 1] == kLF)) {
        --s.destIndex;
    }
    if (s.destIndex == 0) {
        modMain::logError(std::string(prefix::kAddTrailer) +
                          platform::description::kSubscriptOutOfRange);
        return;
    }
    if (s.bLabel == kTrue) {
        appendLineEnds(2);
    }
    if (s.bTicket == kTrue) {
        appendLineEnds(3);
    }
    if (s.bDupTicket == kTrue) {
        const std::int32_t length = s.destIndex;
        appendLineEnds(4);
        appendCopyOfSection(s, length);
        BufferByte(kFormFeed);
    }
}

} // namespace modProcess
