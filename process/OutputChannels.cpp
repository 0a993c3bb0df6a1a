// The output channels: a printer through the spooler, a fixed file, or a file named in the job.
#include "process/JobState.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "process/NamedFileHeader.h"

#include <string>

namespace modProcess {
namespace {

// Made once, not for every section's document.
const std::string kDocumentTitle = "Tarvo job";
const std::string kDatatype = "RAW";

void openPrinter(JobState& s, const std::string& name) {
    s.hOutput = s.spooler->openPrinter(name);
    if (s.hOutput == 0) {
        modMain::logError("Printer Name not recognized.");
        return;
    }
    try {
        s.spooler->startDocument(s.hOutput, kDocumentTitle, kDatatype);
        s.spooler->startPage(s.hOutput);
    } catch (const std::exception&) {
        // The printer is released with its unfinished document; the section is dropped.
        s.spooler->closePrinter(s.hOutput);
        s.hOutput = 0;
        throw;
    }
}

// The channel counts as open before the file is: when the open fails, the section is still
// scanned and its delivery fails at the end with the CloseOutput line.
void openFile(JobState& s, const std::string& path) {
    s.hOutput = kFileChannel;
    s.outputFile.emplace(platform::toCodepage(path));
}

void openNamedFile(JobState& s, const std::string& directory) {
    s.hOutput = kFileChannel;
    std::uint8_t header[kNamedFileHeaderLength];
    const std::size_t length = s.nSrcIndex == 0 ? s.file->readAt(0, header, sizeof header) : 0;
    const NamedFileHeader named = readNamedFileHeader(header, length, s.nSrcIndex);
    s.nDataStart = named.dataStart;
    checkFileName(directory, named.name);
    // Opened inside the directory, never through a link planted in the name's place.
    s.outputFile.emplace(platform::toCodepage(directory), named.name);
}

void finish(JobState& s) {
    if (s.bWriteFailed) {
        std::rethrow_exception(s.writeFailure);
    }
    if (outputtype::isPrinter(s.outputType)) {
        s.spooler->endPage(s.hOutput);
        s.spooler->endDocument(s.hOutput);
    } else {
        s.outputFile->close();
    }
}

} // namespace

void OpenOutput(JobState& s) {
    s.hOutput = 0;
    s.nDataStart = s.nSrcIndex + kMarkerLength;
    s.nSectionLength = 0;
    s.nLineEnds = 0;
    const auto row = static_cast<std::size_t>(s.nOutput - 1);
    s.outputType = s.rowTypes[row];
    try {
        const std::string& target = s.settings->strMapTarget[row];
        if (outputtype::isPrinter(s.outputType)) {
            openPrinter(s, target);
        } else if (s.outputType == OutputType::File) {
            openFile(s, target);
        } else if (s.outputType == OutputType::NamedFile) {
            openNamedFile(s, target);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kOpenOutput, failure);
    }
}

void CloseOutput(JobState& s) {
    if (s.hOutput == 0) {
        return;
    }
    AddTrailer(s);
    if (s.nSectionLength == 0) {
        // Nothing to deliver: the channel is released without it.
        modMain::logError(std::string(prefix::kCloseOutput) +
                          platform::description::kSubscriptOutOfRange);
    } else {
        try {
            finish(s);
        } catch (const std::exception& failure) {
            modMain::logFailure(prefix::kCloseOutput, failure);
        }
    }
    releaseOutput(s);
}

// A printer released with its document unfinished prints nothing of it.
void releaseOutput(JobState& s) {
    if (s.hOutput != 0 && outputtype::isPrinter(s.outputType)) {
        s.spooler->closePrinter(s.hOutput);
    }
    s.outputFile.reset();
    s.hOutput = 0;
    if (s.bWriteFailed) {
        s.bWriteFailed = false;
        s.writeFailure = nullptr;
    }
}

} // namespace modProcess
