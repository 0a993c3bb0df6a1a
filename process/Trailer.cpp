// Section trailers: line ends trimmed, then what the output's type asks for.
#include "process/modProcess.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Failure.h"

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
        for (std::int32_t i = 0; i < length; ++i) {
            BufferByte(s.destBuffer[i]);
        }
        BufferByte(kFormFeed);
    }
}

} // namespace modProcess
