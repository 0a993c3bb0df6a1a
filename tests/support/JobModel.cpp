#include "tests/support/JobModel.h"

#include <cstddef>

namespace testsupport {
namespace {

// Where the bytes of the current section go.
enum class Sink {
    kNone,           // before the first marker, unused rows: dropped, no line
    kUnknownPrinter, // dropped, kept when any byte is no line end
    kPrinter,        // a document of a known printer: the last element of the documents
    kFile,           // a file of the output directory that opened
    kNoFile,         // a file that could not be opened: collected, then the delivery fails
};

struct Section {
    Sink sink = Sink::kNone;
    std::string type;
    std::string fileName;
    std::string bytes;
    // Where its marker stands in the job.
    std::size_t marker = 0;
};

bool isPrinterType(const std::string& type) {
    return type == "Ticket" || type == "Dup Ticket" || type == "Label" || type == "Report";
}

bool isMarkerAt(const std::string& job, std::size_t p) {
    return p + 5 <= job.size() && job[p] == '@' && job[p + 1] == '!' && job[p + 2] == '@' &&
           job[p + 3] >= '1' && job[p + 3] <= '9';
}

// A name taken from a job must name a file inside its directory.
bool nameStaysInside(const std::string& name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '/' || c == '\\' || c == ':') {
            return false;
        }
    }
    return true;
}

std::string trailed(const std::string& type, const std::string& trimmed) {
    if (type == "Label") {
        return trimmed + "\r\n\r\n";
    }
    if (type == "Ticket") {
        return trimmed + "\r\n\r\n\r\n";
    }
    if (type == "Dup Ticket") {
        return trimmed + "\r\n\r\n\r\n\r\n" + trimmed + "\x0C";
    }
    return trimmed;
}

// Ends the section, which ends before position end of the job.
void finish(Section& section, const std::string& job, std::size_t end, ModelOutcome& outcome,
            ModelFiles& files) {
    if (section.sink == Sink::kNone) {
        return;
    }
    std::string trimmed = section.bytes;
    while (!trimmed.empty() && (trimmed.back() == '\r' || trimmed.back() == '\n')) {
        trimmed.pop_back();
    }
    // A section with nothing to deliver leaves its file as it was, and is not kept.
    if (trimmed.empty()) {
        if (section.sink != Sink::kUnknownPrinter) {
            ++outcome.emptySections;
            ++outcome.closeFailures;
        }
        return;
    }
    if (section.sink == Sink::kUnknownPrinter || section.sink == Sink::kNoFile) {
        outcome.kept.push_back(job.substr(section.marker, end - section.marker));
    }
    switch (section.sink) {
    case Sink::kPrinter:
        outcome.documents.back().bytes = trailed(section.type, trimmed);
        outcome.documents.back().ended = true;
        break;
    case Sink::kFile:
        files[section.fileName] = trimmed;
        break;
    case Sink::kNoFile:
        ++outcome.closeFailures;
        break;
    case Sink::kNone:
    case Sink::kUnknownPrinter:
        break;
    }
}

// Opens the output of the marker at p; returns where the scan resumes.
std::size_t open(const std::string& job, std::size_t p, const ModelRow& row, Section& section,
                 ModelOutcome& outcome, ModelFiles& files) {
    section = Section{Sink::kNone, row.type, "", "", p};
    if (isPrinterType(row.type)) {
        if (row.printerKnown) {
            outcome.documents.push_back({row.target, "", false});
            section.sink = Sink::kPrinter;
        } else {
            section.sink = Sink::kUnknownPrinter;
            ++outcome.unknownPrinters;
        }
        return p + 4;
    }
    if (row.type == "File") {
        if (row.fileName.empty()) {
            section.sink = Sink::kNoFile;
            ++outcome.openFailures;
        } else {
            section.sink = Sink::kFile;
            section.fileName = row.fileName;
            files.try_emplace(row.fileName);
        }
        return p + 4;
    }
    if (row.type != "NamedFile") {
        return p + 4;
    }
    // The header: at position 0 only, the name from position 5 up to the first "|" at a
    // position from 5 to 100.
    section.sink = Sink::kNoFile;
    std::size_t resume = p + 4;
    std::string name;
    bool terminated = false;
    if (p == 0) {
        for (std::size_t i = 5; i <= 100 && i < job.size(); ++i) {
            if (job[i] == '|') {
                resume = i + 1;
                terminated = true;
                break;
            }
            name += job[i];
        }
    }
    if (terminated && row.directoryUsable && nameStaysInside(name)) {
        section.sink = Sink::kFile;
        section.fileName = name;
        files.try_emplace(name);
    } else {
        ++outcome.openFailures;
    }
    return resume;
}

} // namespace

ModelOutcome modelJob(const std::string& job, const ModelRows& rows, ModelFiles& files) {
    ModelOutcome outcome;
    if (job.empty()) {
        outcome.loadFailures = 1;
        return outcome;
    }
    Section section;
    std::size_t p = 0;
    while (p < job.size()) {
        if (isMarkerAt(job, p)) {
            finish(section, job, p, outcome, files);
            const ModelRow& row = rows[static_cast<std::size_t>(job[p + 3] - '1')];
            p = open(job, p, row, section, outcome, files);
            continue;
        }
        const char b = job[p] == '\xFF' ? '\x0C' : job[p];
        section.bytes += b;
        ++p;
    }
    finish(section, job, job.size(), outcome, files);
    return outcome;
}

} // namespace testsupport
