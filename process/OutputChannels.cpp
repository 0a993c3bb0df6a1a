// The output channels: a printer through the spooler, a fixed file, or a file named in the job.
#include "process/modProcess.h"

#include "core/OutputType.h"
#include "core/Prefixes.h"
#include "core/modConfig.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "process/NamedFileHeader.h"

#include <stdexcept>
#include <string_view>

namespace modProcess {
namespace {

// Made once, not for every section's document.
const std::string kDocumentTitle = "Tarvo job";
const std::string kDatatype = "RAW";

bool isPrinterType(const JobState& s) {
    return s.bDupTicket == kTrue || s.bTicket == kTrue || s.bLabel == kTrue || s.bReport == kTrue;
}

// Sets the flag of the type; a name that is none of the seven sets none.
void selectType(JobState& s, OutputType type) {
    s.bDupTicket = s.bTicket = s.bLabel = s.bReport = s.bFile = s.bNamedFile = kFalse;
    switch (type) {
    case OutputType::DupTicket:
        s.bDupTicket = kTrue;
        break;
    case OutputType::Ticket:
        s.bTicket = kTrue;
        break;
    case OutputType::Label:
        s.bLabel = kTrue;
        break;
    case OutputType::Report:
        s.bReport = kTrue;
        break;
    case OutputType::File:
        s.bFile = kTrue;
        break;
    case OutputType::NamedFile:
        s.bNamedFile = kTrue;
        break;
    case OutputType::NotUsed:
    case OutputType::Unknown:
        break;
    }
}

void openPrinter(JobState& s) {
    platform::Spooler& spooler = platform::spooler();
    s.hOutput = spooler.openPrinter(s.strTarget);
    if (s.hOutput == 0) {
        modMain::logError("Printer Name not recognized.");
        return;
    }
    try {
        spooler.startDocument(s.hOutput, kDocumentTitle, kDatatype);
        spooler.startPage(s.hOutput);
    } catch (const std::exception&) {
        // The printer is released with its unfinished document; the section is dropped.
        spooler.closePrinter(s.hOutput);
        s.hOutput = 0;
        throw;
    }
}

// The channel counts as open before the file is: when the open fails, the section is still
// collected and its delivery fails at the end with the CloseOutput line.
void openFile(JobState& s, const std::string& osPath) {
    s.hOutput = kFileChannel;
    s.outputFile = std::make_unique<platform::WriteFile>(osPath);
}

void openNamedFile(JobState& s, const std::string& directory) {
    s.hOutput = kFileChannel;
    // Where the scan resumes when the header cannot be used.
    s.nDataStart = s.nSrcIndex + 4;
    const NamedFileHeader header =
        readNamedFileHeader(s.srcBuffer.get(), s.nSrcLength, s.nSrcIndex);
    s.nDataStart = header.dataStart;
    s.strTarget = directory + "/" + platform::fromCodepage(header.name);
    checkFileName(directory, header.name);
    // Opened inside the directory, never through a link planted in the name's place.
    s.outputFile =
        std::make_unique<platform::WriteFile>(platform::toCodepage(directory), header.name);
}

void deliver(JobState& s) {
    // A section with nothing left after trimming has nothing to deliver.
    if (s.destIndex == 0) {
        throw std::out_of_range("empty section");
    }
    const std::uint8_t* data = s.destBuffer.get();
    const auto count = static_cast<std::size_t>(s.destIndex);
    if (isPrinterType(s)) {
        platform::Spooler& spooler = platform::spooler();
        spooler.write(s.hOutput, data, count);
        spooler.endPage(s.hOutput);
        spooler.endDocument(s.hOutput);
        return;
    }
    if (!s.outputFile) {
        throw platform::Failure(platform::description::kBadFileName);
    }
    s.outputFile->write(data, count);
    s.outputFile->close();
}

// Closes whatever the section still holds open, whether or not its delivery succeeded. A
// printer released with its document unfinished prints nothing of it.
void release(JobState& s) {
    if (isPrinterType(s)) {
        platform::spooler().closePrinter(s.hOutput);
    }
    s.outputFile.reset();
    s.hOutput = 0;
}

} // namespace

void OpenOutput() {
    JobState& s = jobState;
    try {
        s.destIndex = 0;
        s.hOutput = 0;
        s.outputFile.reset();
        const std::size_t row = static_cast<std::size_t>(s.nOutput - 1);
        const std::string& directoryOrTarget = s.settings->strMapTarget.at(row);
        selectType(s, outputtype::parse(s.settings->strMapType.at(row)));
        // Only a section that opens a channel has a target; a dropped one costs no copy.
        if (isPrinterType(s)) {
            s.strTarget = directoryOrTarget;
            openPrinter(s);
        } else if (s.bFile == kTrue) {
            s.strTarget = directoryOrTarget;
            openFile(s, platform::toCodepage(s.strTarget));
        } else if (s.bNamedFile == kTrue) {
            openNamedFile(s, directoryOrTarget);
        }
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kOpenOutput, failure);
    }
}

void CloseOutput() {
    JobState& s = jobState;
    if (s.hOutput == 0) {
        return;
    }
    AddTrailer();
    try {
        deliver(s);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kCloseOutput, failure);
    }
    release(s);
}

} // namespace modProcess
