// The job scanner: the entry of job processing, the marker test and the section buffer.
#include "process/modProcess.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Failure.h"
#include "platform/Spooler.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace modProcess {

JobState jobState;

namespace {

constexpr std::uint8_t kMarkerAt = 0x40;
constexpr std::uint8_t kMarkerBang = 0x21;
constexpr std::uint8_t kFirstDigit = 0x31;
constexpr std::uint8_t kLastDigit = 0x39;
constexpr std::int32_t kMarkerLength = 4;

// Copies count bytes, delivering every 0xFF as 0x0C. Whole blocks of a fixed length over
// arrays that do not overlap, so that the compiler turns the inner loop into vector
// instructions also where it vectorises only loops of a known length.
std::uint8_t formFeedFor(std::uint8_t b) {
    return b == 0xFF ? 0x0C : b;
}

void copyRewritingFormFeeds(std::uint8_t* __restrict out, const std::uint8_t* __restrict in,
                            std::size_t count) {
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) {
            out[i + j] = formFeedFor(in[i + j]);
        }
    }
    if (count >= kBlock) {
        // The last block again, ending at the last byte: the bytes it shares with the blocks
        // before come out the same, and no byte is left for a loop of its own.
        for (std::size_t j = count - kBlock; j < count; ++j) {
            out[j] = formFeedFor(in[j]);
        }
        return;
    }
    for (; i < count; ++i) {
        out[i] = formFeedFor(in[i]);
    }
}

// Buffers the bytes from nSrcIndex up to the next "@" after it, or to the end of the job: no
// marker starts among them, since nSrcIndex itself starts none. They are copied in one span,
// exactly as BufferByte would store them one by one.
void bufferDataRun(JobState& s) {
    const std::uint8_t* src = s.srcBuffer.get();
    const std::int32_t start = s.nSrcIndex;
    const void* nextAt =
        std::memchr(src + start + 1, kMarkerAt, static_cast<std::size_t>(s.nSrcLength - start - 1));
    const std::int32_t end =
        nextAt != nullptr
            ? static_cast<std::int32_t>(static_cast<const std::uint8_t*>(nextAt) - src)
            : s.nSrcLength;
    const std::int32_t fits = std::min(end - start, s.nDestLength - s.destIndex);
    copyRewritingFormFeeds(s.destBuffer.get() + s.destIndex, src + start,
                           static_cast<std::size_t>(fits));
    s.destIndex += fits;
    s.nSrcIndex += fits;
    // Bytes that find the buffer full go through BufferByte, which logs each one it drops.
    for (; s.nSrcIndex < end; ++s.nSrcIndex) {
        BufferByte(src[s.nSrcIndex]);
    }
}

} // namespace

void JobProcessor::ProcessFile(const std::string& path, const modConfig::Settings& settings) {
    jobState.settings = &settings;
    try {
        // What the spooler learnt of unresponsive print servers during the last job is
        // forgotten: each job asks them again.
        platform::spooler().beginJob();
        jobState.hOutput = 0;
        jobState.destIndex = 0;
        jobState.strJobPath = path;
        LoadFile();
        ProcessBuffer();
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kProcessFile, failure);
    }
}

void ProcessFile(const std::string& path) {
    JobProcessor().ProcessFile(path, modConfig::settings);
}

void ProcessBuffer() {
    JobState& s = jobState;
    try {
        while (true) {
            if (s.nSrcIndex > s.nSrcLength - 1) {
                CloseOutput();
                return;
            }
            if (IsMarker() == kTrue) {
                CloseOutput();
                OpenOutput();
                s.nSrcIndex = s.bNamedFile == kTrue ? s.nDataStart : s.nSrcIndex + kMarkerLength;
                continue;
            }
            bufferDataRun(s);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kProcessBuffer, failure);
    }
}

std::int16_t IsMarker() {
    JobState& s = jobState;
    // A marker counts only where at least one byte follows its digit.
    if (s.nSrcIndex < 0 || s.nSrcIndex > s.nSrcLength - kMarkerLength - 1) {
        return kFalse;
    }
    const std::uint8_t* p = s.srcBuffer.get() + s.nSrcIndex;
    if (p[0] == kMarkerAt && p[1] == kMarkerBang && p[2] == kMarkerAt && p[3] >= kFirstDigit &&
        p[3] <= kLastDigit) {
        s.nOutput = static_cast<std::int16_t>(p[3] - 0x30);
        return kTrue;
    }
    return kFalse;
}

void BufferByte(std::uint8_t b) {
    JobState& s = jobState;
    if (s.destIndex >= s.nDestLength) {
        std::string message(prefix::kBufferByte);
        message += platform::description::kSubscriptOutOfRange;
        message += ", nSrcIndex: " + std::to_string(s.nSrcIndex);
        message += ", destIndex: " + std::to_string(s.destIndex);
        modMain::logError(message);
        return;
    }
    s.destBuffer[s.destIndex] = formFeedFor(b);
    ++s.destIndex;
}

} // namespace modProcess
