#pragma once

#include "core/ActivityLog.h"
#include "core/OutputType.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "platform/Spooler.h"
#include "process/JobReader.h"
#include "process/Section.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Job processing: cuts a job at its markers and delivers each section with its type's trailer.
namespace routing {

// One job at a time, each to its end; only the read buffer is kept from one job to the next.
class JobProcessor {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    // program names the program's own files, which no job may write.
    JobProcessor(platform::Spooler& spooler, const platform::Locations& program,
                 core::ActivityLog& log, std::size_t blockSize = kBlockSize);

    // Opens the work file at path (text), removes its name, then delivers its sections by the
    // output map of settings. Never throws; failures are logged.
    void process(const std::string& path, const core::Settings& settings);

private:
    void scan();
    void scanBlock();
    void openSection(int output, std::uint64_t markerOffset);
    PrinterChannel* openPrinter(const std::string& name);
    FileChannel& openFile(OutputType type, const std::string& target, std::uint64_t markerOffset,
                          std::uint64_t& dataStart);
    void closeSection();
    void closeChannel();

    platform::Spooler& spooler_;
    const platform::Locations& program_;
    core::ActivityLog& log_;
    JobReader reader_;
    // The settings of the job in hand, and the type of each of their rows.
    const core::Settings* settings_ = nullptr;
    std::array<OutputType, core::kOutputs> rowTypes_{};
    // Offset of the next byte to examine; beyond the block while a NamedFile header is skipped.
    std::uint64_t position_ = 0;
    // The channel of the section being delivered, one of the two, kept here so that a section
    // costs no allocation of its own.
    std::optional<PrinterChannel> printerChannel_;
    std::optional<FileChannel> fileChannel_;
    // The section being delivered; none before the first marker and for a section that has no
    // channel, whose bytes are dropped.
    std::optional<Section> section_;
};

} // namespace routing
