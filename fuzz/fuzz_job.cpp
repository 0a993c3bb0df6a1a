// Whole jobs through job processing, with a row configuration taken from the input: every
// delivered section must be what the reference model gives, byte for byte, every undelivered one
// must be kept in "failed" as it stood in the job, the log must hold exactly the lines the model
// counts, and nothing may be written outside the output directory and "failed".
//
// Input: nine bytes, one per row (low three bits: the type; the rest: the target), one byte that
// cuts the remaining bytes into two jobs, then the jobs' bytes. The two jobs run one after the
// other on the same job processor, as two jobs of one run of the program do.
#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "fuzz/Sandbox.h"
#include "platform/Paths.h"
#include "platform/Spooler.h"
#include "platform/test/TestPlatform.h"
#include "process/DeliveryObserver.h"
#include "process/JobProcessor.h"
#include "process/JobProgress.h"
#include "tests/support/JobModel.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kConfigBytes = 10;

// The scratch tree: <parent>/sandbox/{app,work,out}. The program's log goes to app, the job
// file to work, every output into out.
struct World {
    World() {
        fs::create_directory(app);
        fs::create_directory(work);
        fs::create_directory(out);
        spooler.printers = {"P1", "P2"};
    }

    static platform::Locations locationsIn(const fs::path& directory) {
        platform::Locations locations = platform::systemLocations();
        locations.applicationDirectory = directory.string();
        locations.settingsFile = (directory / "tarvo.ini").string();
        locations.logFile = (directory / "Tarvo.log").string();
        return locations;
    }

    fuzz::Sandbox sandbox;
    fs::path app = sandbox.root() / "app";
    fs::path work = sandbox.root() / "work";
    fs::path out = sandbox.root() / "out";
    fs::path job = work / "newjob";
    fs::path log = app / "Tarvo.log";
    platform::TestPlatform platform{locationsIn(app), 0};
    platform::RecordingSpooler& spooler = platform.recordingSpooler;
    platform::StandardErrorAlertBox alerts;
    core::ActivityLog activityLog{log.string(), platform.clock(), alerts};
    routing::UnobservedDeliveries unobserved;
};

World& world() {
    static World instance;
    return instance;
}

constexpr const char* kTypes[8] = {"NotUsed", "Ticket", "Dup Ticket", "Label",
                                   "Report",  "File",   "NamedFile",  "ticket"};

// The targets each type chooses from. A file target opens the named file in out, or none.
struct FileTarget {
    const char* path;
    const char* name;
};
constexpr FileTarget kFileTargets[] = {
    {"f1", "f1"}, {"f2", "f2"}, {"/f1", "f1"}, {"missing/f3", ""}, {"", ""}};
constexpr const char* kPrinters[] = {"P1", "P2", "Gone", ""};
constexpr std::size_t kKnownPrinters = 2;
// NamedFile directories below out; the first two are out itself, and the last (none) leaves
// the target empty.
constexpr const char* kDirectories[] = {"", "/", "/missing", "/f1", nullptr};
constexpr std::size_t kUsableDirectories = 2;

testsupport::ModelRow rowFor(std::uint8_t b, const World& w) {
    testsupport::ModelRow row;
    row.type = kTypes[b & 7];
    const std::size_t choice = b >> 3;
    const std::string out = w.out.string();
    if (row.type == "NamedFile") {
        const std::size_t i = choice % std::size(kDirectories);
        row.target = kDirectories[i] != nullptr ? out + kDirectories[i] : std::string();
        row.directoryUsable = i < kUsableDirectories;
    } else if (row.type == "Ticket" || row.type == "Dup Ticket" || row.type == "Label" ||
               row.type == "Report") {
        const std::size_t i = choice % std::size(kPrinters);
        row.target = kPrinters[i];
        row.printerKnown = i < kKnownPrinters;
    } else {
        // Also the rows that must open nothing get a writable file as their target.
        const FileTarget& target = kFileTargets[choice % std::size(kFileTargets)];
        row.target = *target.path == '\0' ? out : out + "/" + target.path;
        row.fileName = target.name;
    }
    return row;
}

void checkDocuments(const World& w, const std::vector<testsupport::ModelDocument>& expected) {
    const auto& documents = w.spooler.documents;
    fuzz::require(documents.size() == expected.size(),
                  "documents: " + std::to_string(documents.size()) + ", expected " +
                      std::to_string(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& d = documents[i];
        const std::string bytes(d.bytes.begin(), d.bytes.end());
        const std::string which = "document " + std::to_string(i) + " ";
        fuzz::require(d.printer == expected[i].printer, which + "went to " + d.printer);
        fuzz::require(d.title == "Tarvo job" && d.datatype == "RAW", which + "title/datatype");
        fuzz::require(bytes == expected[i].bytes, which + "holds " + fuzz::printable(bytes) +
                                                      ", expected " +
                                                      fuzz::printable(expected[i].bytes));
        fuzz::require(d.ended == expected[i].ended, which + "ended wrongly");
    }
}

// Nothing in the parent but the tree; in out exactly the expected files with their bytes.
void checkFiles(const World& w, const testsupport::ModelFiles& files) {
    std::vector<std::string> expected = {"sandbox", "sandbox/app", "sandbox/out", "sandbox/work",
                                         "sandbox/app/Tarvo.log"};
    for (const auto& [name, bytes] : files) {
        expected.push_back("sandbox/out/" + name);
    }
    std::sort(expected.begin(), expected.end());
    const std::vector<std::string> actual = fuzz::listTree(w.sandbox.parent());
    if (actual != expected) {
        std::string listing;
        for (const std::string& entry : actual) {
            listing += " " + fuzz::printable(entry);
        }
        fuzz::fail("unexpected files in the scratch tree:" + listing);
    }
    for (const auto& [name, bytes] : files) {
        const std::string written = fuzz::readBytes(w.out / name);
        fuzz::require(written == bytes, "file " + fuzz::printable(name) + " holds " +
                                            fuzz::printable(written) + ", expected " +
                                            fuzz::printable(bytes));
    }
}

void checkLog(const std::string& log, const testsupport::ModelOutcome& expected, int jobs) {
    const struct {
        const char* text;
        int count;
    } lines[] = {
        {"Processing ", jobs},
        {"modProcess::LoadFile - ", expected.loadFailures},
        {"Printer Name not recognized.", expected.unknownPrinters},
        {"modProcess::OpenOutput - ", expected.openFailures},
        {"modProcess::AddTrailer - ", expected.emptySections},
        {"modProcess::CloseOutput - ", expected.closeFailures},
        {"modProcess::KeepSection - ", static_cast<int>(expected.kept.size())},
    };
    int total = 0;
    for (const auto& line : lines) {
        const int count = fuzz::countLines(log, line.text);
        fuzz::require(count == line.count, std::string("log lines \"") + line.text +
                                               "\": " + std::to_string(count) + ", expected " +
                                               std::to_string(line.count) + "\n" + log);
        total += count;
    }
    fuzz::require(fuzz::countLines(log, "") == total, "unexpected log lines:\n" + log);
}

// The files in "failed" beside the job hold exactly the kept sections; they go afterwards.
void checkKept(const World& w, std::vector<std::string> expected) {
    const fs::path failed = w.work / "failed";
    std::vector<std::string> kept;
    if (fs::exists(failed)) {
        for (const auto& entry : fs::directory_iterator(failed)) {
            kept.push_back(fuzz::readBytes(entry.path()));
        }
        fs::remove_all(failed);
    }
    std::sort(kept.begin(), kept.end());
    std::sort(expected.begin(), expected.end());
    fuzz::require(kept == expected, "kept sections: " + std::to_string(kept.size()) +
                                        ", expected " + std::to_string(expected.size()));
}

void clean(const World& w) {
    for (const auto& entry : fs::directory_iterator(w.out)) {
        fs::remove_all(entry.path());
    }
    fs::remove(w.log);
    fs::remove(w.job);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::checkModelOnWorkedExamples();
    world();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kConfigBytes) {
        return 0;
    }
    World& w = world();
    testsupport::ModelRows rows;
    core::Settings settings;
    for (std::size_t n = 0; n < rows.size(); ++n) {
        rows[n] = rowFor(data[n], w);
        settings.outputs[n] = {rows[n].target, rows[n].type};
    }
    const std::string payload(reinterpret_cast<const char*>(data) + kConfigBytes,
                              size - kConfigBytes);
    const std::size_t cut = payload.size() * data[kConfigBytes - 1] / 255;
    const std::string jobs[] = {payload.substr(0, cut), payload.substr(cut)};

    // The jobs are read in the real blocks, then again in blocks of a few bytes, so that
    // markers, headers and runs of line ends meet block boundaries at every position.
    for (const std::size_t blockSize :
         {routing::JobProcessor::kBlockSize, 1 + payload.size() % 7}) {
        routing::JobProcessor processor(w.spooler, w.platform.directory(), w.platform.locations(),
                                        w.activityLog, w.unobserved, blockSize);
        w.spooler.documents.clear();
        w.spooler.calls.clear();
        testsupport::ModelFiles files;
        testsupport::ModelOutcome expected;
        for (const std::string& job : jobs) {
            fuzz::writeBytes(w.job, job);
            routing::JobProgress progress((w.work / ".newjob.progress").string());
            const std::string path = w.job.string();
            processor.process({path, w.platform.directory().identity(path), "job", path}, settings,
                              progress);
            fuzz::require(w.spooler.openPrinters() == 0, "a printer was left open");
            const testsupport::ModelOutcome outcome = testsupport::modelJob(job, rows, files);
            expected.documents.insert(expected.documents.end(), outcome.documents.begin(),
                                      outcome.documents.end());
            expected.loadFailures += outcome.loadFailures;
            expected.unknownPrinters += outcome.unknownPrinters;
            expected.openFailures += outcome.openFailures;
            expected.emptySections += outcome.emptySections;
            expected.closeFailures += outcome.closeFailures;
            expected.kept.insert(expected.kept.end(), outcome.kept.begin(), outcome.kept.end());
        }
        checkDocuments(w, expected.documents);
        // Each job's "Processing" line, and one per failure.
        checkLog(fuzz::readBytes(w.log), expected, static_cast<int>(std::size(jobs)));
        checkKept(w, expected.kept);
        checkFiles(w, files);
        clean(w);
    }
    return 0;
}
