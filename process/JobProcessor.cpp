#include "process/JobProcessor.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "process/Markers.h"
#include "process/NamedFileHeader.h"

#include <algorithm>

namespace routing {

JobProcessor::JobProcessor(platform::Spooler& spooler, const platform::Locations& program,
                           core::ActivityLog& log, std::size_t blockSize)
    : spooler_(spooler), program_(program), log_(log),
      reader_(std::max<std::size_t>(blockSize, 1), kMarkerLength, log) {}

void JobProcessor::process(const std::string& path, const core::Settings& settings) {
    settings_ = &settings;
    for (std::size_t row = 0; row < rowTypes_.size(); ++row) {
        rowTypes_[row] = outputtype::parse(settings.outputs[row].type);
    }
    position_ = 0;
    try {
        spooler_.beginJob();
        if (reader_.open(path)) {
            scan();
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kProcessFile, failure);
    }
    // A scan that ended at a failure may have left its section's channel open.
    closeChannel();
    reader_.close();
    settings_ = nullptr;
}

void JobProcessor::scan() {
    try {
        do {
            reader_.readBlock(position_);
            scanBlock();
        } while (!reader_.atEnd());
        closeSection();
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kProcessBuffer, failure);
    }
}

// Scans the bytes of the block that can be decided now. A marker counts only where at least
// one byte follows its digit, so the last four bytes of a block wait for the next one; at the
// end of the job they are data. Data spans go out whole, one per section and block.
void JobProcessor::scanBlock() {
    std::uint8_t* const block = reader_.data();
    const std::uint64_t base = reader_.base();
    const std::size_t size = reader_.size();
    const std::size_t markerEnd = size > kMarkerLength ? size - kMarkerLength : 0;
    const std::size_t decidedEnd = reader_.atEnd() ? size : markerEnd;
    if (position_ >= base + decidedEnd) {
        return;
    }
    // Where the section's data not yet delivered begin.
    auto dataFrom = static_cast<std::size_t>(position_ - base);
    for (std::size_t at = findMarker(block, dataFrom, markerEnd); at < markerEnd;
         at = findMarker(block, dataFrom, markerEnd)) {
        if (section_) {
            section_->deliver(block + dataFrom, at - dataFrom);
        }
        closeSection();
        openSection(markerOutput(block + at), base + at);
        if (position_ >= base + decidedEnd) {
            return;
        }
        dataFrom = static_cast<std::size_t>(position_ - base);
    }
    if (section_) {
        section_->deliver(block + dataFrom, decidedEnd - dataFrom);
    }
    position_ = base + decidedEnd;
}

void JobProcessor::openSection(int output, std::uint64_t markerOffset) {
    const auto row = static_cast<std::size_t>(output - 1);
    const OutputType type = rowTypes_[row];
    std::uint64_t dataStart = markerOffset + kMarkerLength;
    try {
        const std::string& target = settings_->outputs[row].target;
        if (outputtype::isPrinter(type)) {
            if (PrinterChannel* printer = openPrinter(target)) {
                section_.emplace(type, dataStart, *printer, reader_, log_);
            }
        } else if (type == OutputType::File || type == OutputType::NamedFile) {
            FileChannel& file = openFile(type, target, markerOffset, dataStart);
            section_.emplace(type, dataStart, file, reader_, log_);
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kOpenOutput, failure);
    }
    position_ = dataStart;
}

// A printer that the spooler does not know gives no channel, with its line.
PrinterChannel* JobProcessor::openPrinter(const std::string& name) {
    std::unique_ptr<platform::Spooler::Printer> printer = spooler_.openPrinter(name);
    if (!printer) {
        log_.write(logtext::kPrinterNotRecognized);
        return nullptr;
    }
    return &printerChannel_.emplace(std::move(printer));
}

// The channel counts as open even when the file's open fails (logged here): the section is
// still scanned, and its delivery fails at the end with the CloseOutput line.
FileChannel& JobProcessor::openFile(OutputType type, const std::string& target,
                                    std::uint64_t markerOffset, std::uint64_t& dataStart) {
    FileChannel& channel = fileChannel_.emplace();
    try {
        if (type == OutputType::File) {
            channel.open(platform::toCodepage(target));
            return channel;
        }
        std::uint8_t header[kNamedFileHeaderLength];
        const std::size_t length = markerOffset == 0 ? reader_.readStart(header, sizeof header) : 0;
        const NamedFileHeader named = readNamedFileHeader(header, length, markerOffset);
        dataStart = named.dataStart;
        checkFileName(program_, target, named.name);
        // Opened inside the directory, never through a link planted in the name's place.
        channel.open(platform::toCodepage(target), named.name);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kOpenOutput, failure);
    }
    return channel;
}

void JobProcessor::closeSection() {
    if (section_) {
        section_->close();
    }
    closeChannel();
}

// Releases the section's channel: a document that did not end prints nothing, a file is closed.
void JobProcessor::closeChannel() {
    section_.reset();
    printerChannel_.reset();
    fileChannel_.reset();
}

} // namespace routing
