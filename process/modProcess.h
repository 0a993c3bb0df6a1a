#pragma once

#include "core/modConfig.h"
#include "platform/Files.h"

#include <cstdint>
#include <memory>
#include <string>

// Job processing: reads a job file, cuts it at its section markers and delivers every section
// to the output that its marker names, with the trailer of the output's type.
namespace modProcess {

// Flags are 16-bit with True = -1.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// The module state of job processing, shared by all its procedures. It lives for the whole run
// and is not cleared between jobs: the type flags, nOutput and nDataStart keep their values
// until the next OpenOutput changes them.
struct JobState {
    // Path of the work file of the job in progress (UTF-8).
    std::string strJobPath;
    // The settings whose output map the job in progress follows.
    const modConfig::Settings* settings = nullptr;

    // The whole job: nSrcLength bytes. Empty (length 0) when the last load failed.
    std::unique_ptr<std::uint8_t[]> srcBuffer;
    std::int32_t nSrcLength = 0;
    // Index in srcBuffer of the next byte to examine.
    std::int32_t nSrcIndex = 0;

    // The current section, then its trailer: destIndex bytes of nDestLength. Allocated once
    // per job, large enough for any section and its trailer, and reused by every section.
    std::unique_ptr<std::uint8_t[]> destBuffer;
    std::int32_t nDestLength = 0;
    std::int32_t destIndex = 0;

    // Output number 1 to 9 of the marker found last.
    std::int16_t nOutput = 0;
    // The open channel of the current section: a printer handle, or kFileChannel for a file;
    // 0 = no channel.
    std::uintptr_t hOutput = 0;
    // Printer name or file path of the current section, when it opens a channel (UTF-8).
    std::string strTarget;
    // The file of a "File" or "NamedFile" section; empty when its open failed.
    std::unique_ptr<platform::WriteFile> outputFile;

    // The output type of the current section: at most one is True.
    std::int16_t bDupTicket = kFalse;
    std::int16_t bTicket = kFalse;
    std::int16_t bLabel = kFalse;
    std::int16_t bReport = kFalse;
    std::int16_t bFile = kFalse;
    std::int16_t bNamedFile = kFalse;

    // Where the scan resumes after a NamedFile marker: just after the header's "|", or four
    // bytes after the marker when the header is unusable.
    std::int32_t nDataStart = 0;
};

// The value of hOutput while a "File" or "NamedFile" section is open.
inline constexpr std::uintptr_t kFileChannel = 1;

extern JobState jobState;

// Job processing as the program runs it: one job at a time, each to its end.
class JobProcessor {
public:
    // Processes the work file at path (UTF-8) to its end with the output map of settings: loads
    // and deletes it, then delivers its sections. Never fails outward; failures are logged.
    void ProcessFile(const std::string& path, const modConfig::Settings& settings);
};

// Processes the work file at path with the process-wide settings.
void ProcessFile(const std::string& path);

// Reads the work file strJobPath whole into srcBuffer, sizes destBuffer and deletes the file.
// On failure nothing of the job is kept (nSrcLength = 0) and the file is deleted all the same.
void LoadFile();

// Scans srcBuffer from nSrcIndex to its end, closing and opening the outputs at each marker.
void ProcessBuffer();

// True when a section marker starts at nSrcIndex (and one byte follows it); sets nOutput.
std::int16_t IsMarker();

// Appends one byte to the section (0xFF becomes 0x0C); a byte that does not fit is logged.
void BufferByte(std::uint8_t b);

// Opens the channel of output nOutput for the section that starts at the marker at nSrcIndex.
void OpenOutput();

// Trims, trails and delivers the current section, then closes its channel.
void CloseOutput();

// Removes trailing CR and LF bytes from the section and appends its type's trailer.
void AddTrailer();

} // namespace modProcess
