// The job scanner: the entry of job processing, the marker search and the section's data.
#include "process/JobState.h"
#include "process/modProcess.h"

#include "core/Prefixes.h"
#include "core/modMain.h"

#include <algorithm>
#include <cstring>

namespace modProcess {
namespace {

constexpr std::uint8_t kMarkerAt = 0x40;
constexpr std::uint8_t kMarkerBang = 0x21;
constexpr std::uint8_t kFirstDigit = 0x31;
constexpr std::uint8_t kLastDigit = 0x39;
constexpr std::uint8_t kCR = 0x0D;
constexpr std::uint8_t kLF = 0x0A;
// The chunks in which bytes of the job are read back.
constexpr std::size_t kScratchSize = 64 * 1024;

// Whether the "@" at p starts a marker; the three bytes after it are in the buffer.
bool IsMarker(const std::uint8_t* p) {
    return p[1] == kMarkerBang && p[2] == kMarkerAt && p[3] >= kFirstDigit && p[3] <= kLastDigit;
}

bool isLineEnd(std::uint8_t b) {
    return b == kCR || b == kLF;
}

// 0xFF ^ 0xF3 is 0x0C. Written as a mask and an exclusive or, which vector instructions do
// without a blend.
std::uint8_t formFeedFor(std::uint8_t b) {
    return static_cast<std::uint8_t>(b ^ (-static_cast<std::uint8_t>(b == 0xFF) & 0xF3));
}

// Writes the line ends held at the end of an earlier block, which a later byte showed not to end
// the section. The buffer no longer holds them: they are read back from the job in chunks.
void writeHeldLineEnds(JobState& s) {
    std::uint64_t offset = s.nDataStart + s.nSectionLength;
    for (std::uint64_t left = s.nLineEnds; left > 0;) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, s.nScratchSize));
        if (!readBack(s, offset, s.scratch.get(), chunk)) {
            return;
        }
        send(s, s.scratch.get(), chunk);
        offset += chunk;
        left -= chunk;
    }
}

// Scans the bytes of srcBuffer that can be decided now. A marker counts only where at least
// one byte follows its digit, so the last four bytes of a block wait for the next one; at the
// end of the job they are data. Data spans go out whole, one per section and block.
void scanBlock(JobState& s) {
    std::uint8_t* const buffer = s.srcBuffer.get();
    const std::size_t markerEnd = s.nSrcEnd > kMarkerLength ? s.nSrcEnd - kMarkerLength : 0;
    const std::size_t decidedEnd = s.bSrcAtEnd ? s.nSrcEnd : markerEnd;
    if (s.nSrcIndex >= s.nSrcBase + decidedEnd) {
        return;
    }
    // Where the section's data not yet written begins, and where the search goes on.
    std::size_t dataFrom = static_cast<std::size_t>(s.nSrcIndex - s.nSrcBase);
    std::size_t at = dataFrom;
    while (at < markerEnd) {
        const void* found = std::memchr(buffer + at, kMarkerAt, markerEnd - at);
        if (found == nullptr) {
            break;
        }
        at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - buffer);
        if (!IsMarker(buffer + at)) {
            ++at;
            continue;
        }
        if (s.hOutput != 0) {
            WriteData(s, buffer + dataFrom, at - dataFrom);
        }
        CloseOutput(s);
        s.nOutput = buffer[at + 3] - '0';
        s.nSrcIndex = s.nSrcBase + at;
        OpenOutput(s);
        s.nSrcIndex = s.nDataStart;
        if (s.nSrcIndex >= s.nSrcBase + decidedEnd) {
            return;
        }
        dataFrom = at = static_cast<std::size_t>(s.nSrcIndex - s.nSrcBase);
    }
    if (s.hOutput != 0) {
        WriteData(s, buffer + dataFrom, decidedEnd - dataFrom);
    }
    s.nSrcIndex = s.nSrcBase + decidedEnd;
}

} // namespace

JobState::JobState(std::size_t blockSize)
    : nBlockSize(blockSize), srcBuffer(new std::uint8_t[kMarkerLength + blockSize]),
      nScratchSize(std::min(blockSize, kScratchSize)), scratch(new std::uint8_t[nScratchSize]) {}

JobProcessor::JobProcessor(std::size_t blockSize)
    : state_(std::make_unique<JobState>(std::max<std::size_t>(blockSize, 1))) {}

JobProcessor::~JobProcessor() = default;

void JobProcessor::ProcessFile(const std::string& path, const modConfig::Settings& settings) {
    JobState& s = *state_;
    s.settings = &settings;
    for (std::size_t row = 0; row < s.rowTypes.size(); ++row) {
        s.rowTypes[row] = outputtype::parse(settings.strMapType[row]);
    }
    s.spooler = &platform::spooler();
    s.hOutput = 0;
    s.bJobCut = false;
    s.nSrcBase = 0;
    s.nSrcEnd = 0;
    s.nSrcIndex = 0;
    try {
        // What the spooler learnt of unresponsive print servers during the last job is
        // forgotten: each job asks them again.
        s.spooler->beginJob();
        if (LoadFile(s, path)) {
            ProcessBuffer(s);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kProcessFile, failure);
    }
    // A scan that ended at a failure may have left its section's channel open.
    releaseOutput(s);
    s.file.reset();
    s.settings = nullptr;
}

void ProcessBuffer(JobState& s) {
    try {
        do {
            readBlock(s);
            scanBlock(s);
        } while (!s.bSrcAtEnd);
        CloseOutput(s);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kProcessBuffer, failure);
    }
}

void WriteData(JobState& s, std::uint8_t* data, std::size_t count) {
    std::size_t kept = count;
    while (kept > 0 && isLineEnd(data[kept - 1])) {
        --kept;
    }
    if (kept == 0) {
        s.nLineEnds += count;
        return;
    }
    if (!s.bWriteFailed) {
        if (s.nLineEnds > 0) {
            writeHeldLineEnds(s);
        }
        rewriteFormFeeds(data, kept);
        send(s, data, kept);
    }
    s.nSectionLength += s.nLineEnds + kept;
    s.nLineEnds = count - kept;
}

// Whole blocks of a fixed length, so that the compiler turns the inner loop into vector
// instructions also where it vectorises only loops of a known length. The bytes after the last
// whole block are rewritten with the block that ends at the last byte, taken before the others
// are rewritten and put back after them: a byte rewritten twice comes out the same.
void rewriteFormFeeds(std::uint8_t* bytes, std::size_t count) {
    constexpr std::size_t kBlock = 32;
    const auto rewriteBlock = [](std::uint8_t* block) {
        for (std::size_t j = 0; j < kBlock; ++j) {
            block[j] = formFeedFor(block[j]);
        }
    };
    if (count < kBlock) {
        for (std::size_t i = 0; i < count; ++i) {
            bytes[i] = formFeedFor(bytes[i]);
        }
        return;
    }
    std::uint8_t last[kBlock];
    std::memcpy(last, bytes + count - kBlock, kBlock);
    rewriteBlock(last);
    for (std::size_t i = 0; i + kBlock <= count; i += kBlock) {
        rewriteBlock(bytes + i);
    }
    std::memcpy(bytes + count - kBlock, last, kBlock);
}

} // namespace modProcess
