#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "platform/Platform.h"
#include "platform/Spooler.h"
#include "process/DeliveryObserver.h"
#include "process/JobProcessor.h"
#include "tests/support/TestSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline constexpr std::size_t kMiB = std::size_t{1} << 20;

// The scratch directory of the whole run; every job file and output is made under it.
const testsupport::TempDir& scratch();

// The system's platform, and a log in the scratch directory, for the code under test.
platform::Platform& systemPlatform();
core::ActivityLog& scratchLog();
// Where job processing tells of sections not delivered: nobody listens in a figure.
routing::DeliveryObserver& unobserved();

// The output digit of section s of a job of the given number of sections: outputs 1 to 7 in
// turn, and output 9 for the last section only, so that its file tells when a job is done.
char outputOfSection(std::size_t s, std::size_t sections);

// Writes a job of totalBytes cut into the given number of sections. The data are
// pseudo-random bytes, 0x40 and 0xFF included, arranged so that no marker appears by chance.
// Written in blocks, never held whole in memory.
void writeJob(const std::string& path, std::size_t totalBytes, std::size_t sections);

// Writes a job of the given length that is a hole (zero bytes, no disk space where the file
// system allows) but for the pieces, each written at its offset.
void writeSparseJob(const std::string& path, std::uint64_t bytes,
                    const std::vector<std::pair<std::uint64_t, std::string>>& pieces);

// The job file of a size and section count, written once per run under the scratch directory.
const std::string& masterJob(std::size_t bytes, std::size_t sections);

// Gives path the master job's bytes without copying them (a hard link), so that each run of
// a job starts from the same file.
void linkJob(const std::string& master, const std::string& path);

// Routes the work file at path as the monitor does once it has handed a job over to that name:
// with the file's identity and a progress record beside it, in the scratch directory.
routing::JobOutcome routeWork(routing::JobProcessor& processor, const std::string& path,
                              const core::Settings& settings);

// A spooler that knows every printer and hands the documents' calls to handlers of its own.
class DocumentSink : public platform::Spooler {
public:
    std::unique_ptr<Printer> openPrinter(const std::string&) override;
    std::vector<std::string> printerNames() override { return {}; }

    virtual void documentStarted() {}
    virtual void received(const std::uint8_t* data, std::size_t count) = 0;
    virtual void documentEnded() {}
};

// Routes the work file at path as the monitor does once it has handed a job over to that name:
// with the file's identity and a progress record beside it, in the scratch directory.
routing::JobOutcome routeWork(routing::JobProcessor& processor, const std::string& path,
                              const core::Settings& settings);

// A spooler that knows every printer and keeps nothing but a count of the bytes sent.
class DiscardingSpooler final : public DocumentSink {
public:
    std::uint64_t bytes = 0;

    void received(const std::uint8_t*, std::size_t count) override { bytes += count; }
};

} // namespace bench
