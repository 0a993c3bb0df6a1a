#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

// A reference model of job processing, written byte by byte from the job format's rules and
// kept apart from the program's code: what every output must receive for a job and a row
// configuration, and which log lines the job must give.
namespace testsupport {

// One row of the output map, with what its target leads to in the fuzz set-up.
struct ModelRow {
    // The type name exactly as in the settings, and the target.
    std::string type;
    std::string target;
    // Printer types: the spooler knows the target.
    bool printerKnown = false;
    // "File": the name in the output directory that the target path opens; empty when the
    // path cannot be opened for writing.
    std::string fileName;
    // "NamedFile": the target is the output directory (with or without a trailing "/").
    bool directoryUsable = false;
};

using ModelRows = std::array<ModelRow, 9>;

struct ModelDocument {
    std::string printer;
    std::string bytes;
    // False for a document started and then released without data.
    bool ended = false;
};

// What a job gives. The counts are of the log lines it must write.
struct ModelOutcome {
    std::vector<ModelDocument> documents;
    int loadFailures = 0;
    int unknownPrinters = 0;
    int openFailures = 0;
    int emptySections = 0;
    int closeFailures = 0;
    // The sections kept in "failed", each as it stood in the job, marker first.
    std::vector<std::string> kept;
};

// The files of the output directory, by name.
using ModelFiles = std::map<std::string, std::string>;

// Runs the job through the model: files gets every file write of the job, in order.
ModelOutcome modelJob(const std::string& job, const ModelRows& rows, ModelFiles& files);

} // namespace testsupport
