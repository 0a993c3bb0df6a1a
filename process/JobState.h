#pragma once

// The state of job processing and the procedures that share it, within process/.
#include "core/OutputType.h"
#include "core/modConfig.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Spooler.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>

namespace modProcess {

inline constexpr std::size_t kMarkerLength = 4;

// The value of hOutput while a "File" or "NamedFile" section is open.
inline constexpr std::uintptr_t kFileChannel = 1;

// The state of job processing, owned by the JobProcessor. Offsets are counted in bytes from the
// start of the job. Between jobs only the two buffers remain: everything else is set afresh
// by the next job.
struct JobState {
    explicit JobState(std::size_t blockSize);

    // The settings whose output map the job in progress follows, and the type of each row.
    const modConfig::Settings* settings = nullptr;
    std::array<OutputType, modConfig::kOutputs> rowTypes{};
    platform::Spooler* spooler = nullptr;

    // The work file, open while its job is processed; its length when it was opened.
    std::optional<platform::JobFile> file;
    std::uint64_t nJobLength = 0;
    // A read of the job came short or failed: it has been logged, once for the job.
    bool bJobCut = false;

    // The block buffer: the up to kMarkerLength bytes that the last block left unexamined, then
    // the next block.
    const std::size_t nBlockSize;
    std::unique_ptr<std::uint8_t[]> srcBuffer;
    // Offset of srcBuffer[0], the number of bytes in it, and whether the last read reached the
    // end of the job.
    std::uint64_t nSrcBase = 0;
    std::size_t nSrcEnd = 0;
    bool bSrcAtEnd = false;
    // Offset of the next byte to examine; beyond the buffer while a NamedFile header is skipped.
    std::uint64_t nSrcIndex = 0;

    // Where bytes of the job are read back: line ends held over a block's end, and the second
    // copy of a "Dup Ticket".
    const std::size_t nScratchSize;
    std::unique_ptr<std::uint8_t[]> scratch;

    // Output number 1 to 9 of the marker found last.
    int nOutput = 0;
    // The open channel of the current section: a printer handle, or kFileChannel; 0 = none.
    std::uintptr_t hOutput = 0;
    OutputType outputType = OutputType::Unknown;
    // The file of a "File" or "NamedFile" section; empty when its open failed.
    std::optional<platform::WriteFile> outputFile;
    // Offset of the section's first byte: four bytes after its marker, or just after the "|"
    // of a NamedFile header.
    std::uint64_t nDataStart = 0;
    // The section's bytes scanned so far: those given to its channel (or dropped after a failed
    // write), then the CR and LF bytes after them that are held until a later byte shows that
    // they do not end the section.
    std::uint64_t nSectionLength = 0;
    std::uint64_t nLineEnds = 0;
    // A write of the section failed, and the first failure; nothing more of it is written.
    bool bWriteFailed = false;
    std::exception_ptr writeFailure;
};

// Opens the work file at path and removes it from its directory. False, with the LoadFile line
// logged, when there is no job to scan: an empty job is removed, one that cannot be opened or
// removed is left in place.
bool LoadFile(JobState& s, const std::string& path);

// Reads the next block behind the bytes not yet examined. A job that ends before the length it
// had when it was opened, or that cannot be read, ends there with one LoadFile line.
void readBlock(JobState& s);

// Reads count bytes of the job at offset into destination; false, with the LoadFile line
// logged once for the job, when they are no longer all there.
bool readBack(JobState& s, std::uint64_t offset, std::uint8_t* destination, std::size_t count);

// Scans the job block by block to its end, closing and opening the outputs at each marker.
void ProcessBuffer(JobState& s);

// Delivers the next count bytes of the section, which begin at data in srcBuffer: 0xFF becomes
// 0x0C in place, and CR and LF bytes at their end are held back. Called at most once for each
// section and block, so that held line ends always lie before the block.
void WriteData(JobState& s, std::uint8_t* data, std::size_t count);

// Rewrites every 0xFF of the bytes as 0x0C.
void rewriteFormFeeds(std::uint8_t* bytes, std::size_t count);

// Opens the channel of output nOutput for the section of the marker at nSrcIndex, and sets
// nDataStart.
void OpenOutput(JobState& s);

// Writes bytes of the current section to its channel, unless a write of it has failed.
inline void send(JobState& s, const std::uint8_t* data, std::size_t count) {
    if (s.bWriteFailed) {
        return;
    }
    try {
        if (outputtype::isPrinter(s.outputType)) {
            s.spooler->write(s.hOutput, data, count);
        } else if (s.outputFile) {
            s.outputFile->write(data, count);
        } else {
            throw platform::Failure(platform::description::kBadFileName);
        }
    } catch (const std::exception&) {
        s.writeFailure = std::current_exception();
        s.bWriteFailed = true;
    }
}

// Trails and finishes the current section, then closes its channel.
void CloseOutput(JobState& s);

// Closes the channel, whatever its state; the section's document is not ended.
void releaseOutput(JobState& s);

// Drops the held line ends and writes the trailer of the section's type.
void AddTrailer(JobState& s);

} // namespace modProcess
