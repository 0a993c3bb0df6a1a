#pragma once

#include "core/ActivityLog.h"
#include "core/OutputType.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "platform/Spooler.h"
#include "platform/WatchedDirectory.h"
#include "process/DeliveryObserver.h"
#include "process/JobProgress.h"
#include "process/JobReader.h"
#include "process/NamedFileHeader.h"
#include "process/Section.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Job processing: cuts a job at its markers and delivers each section with its type's trailer.
namespace routing {

// The work file of a job that has been handed over.
struct WorkFile {
    std::string path;
    // The work file's identity when it was handed over.
    platform::FileIdentity identity;
    // The job's own name; empty for a work file that an earlier run of the program left.
    std::string jobName;
    // The path that the log's "Processing" line names: where the job was taken from.
    std::string takenFrom;
};

// How the processing of a job ended.
enum class JobOutcome {
    // Every section handled; the work file and its progress record are gone.
    Done,
    // The work file could not be opened, or its name not removed once its sections were done:
    // it is still there, and the log says why.
    NotProcessed,
    // Another process holds the work file and routes it.
    TakenElsewhere,
    // A request to stop cut a wait short. The work file and its record stay: the next start
    // goes on from the section that waited.
    Interrupted,
};

// One job at a time, each to its end; only the read buffer is kept from one job to the next.
class JobProcessor {
public:
    static constexpr std::size_t kBlockSize = std::size_t{1} << 20;

    // program names the program's own files, which no job may write; directory holds the
    // directory "failed" beside the work files; deliveries is told what became of each job.
    JobProcessor(platform::Spooler& spooler, platform::WatchedDirectory& directory,
                 const platform::Locations& program, core::ActivityLog& log,
                 DeliveryObserver& deliveries, std::size_t blockSize = kBlockSize);

    // Logs "Processing" and the job's path unless another process routes the work file, then
    // delivers its sections by the output map of settings, recording each one done in progress,
    // and removes the work file. A section that could not be delivered is kept in "failed" beside
    // the work file as a job of its own, before the record counts it; a printer section whose
    // spool job is followed is handed to deliveries with a hidden copy held there, before too. A
    // work file of an earlier run goes on from the first section that its record does not count as
    // done. Never throws; failures are logged.
    JobOutcome process(const WorkFile& work, const core::Settings& settings, JobProgress& progress);

private:
    // The section in hand that is to reach an output: where it stands in the job, and what
    // became of its output so far.
    struct SectionInHand {
        int output = 0;
        OutputType type = OutputType::Unknown;
        std::uint64_t markerOffset = 0;
        // Why its output could not be opened; nothing when it was.
        std::optional<std::string> openFailure;
        // Whether bytes other than line ends went by without an output to take them.
        bool lostData = false;
    };

    JobOutcome openWorkFile(const WorkFile& work);
    bool stillNamed(const WorkFile& work);
    void startRecord(const WorkFile& work, JobProgress& progress);
    JobOutcome route(JobProgress& progress);
    void scan();
    void scanBlock();
    void take(std::uint8_t* data, std::size_t count);
    void openSection(int output, std::uint64_t markerOffset);
    std::optional<NamedFileHeader> namedFileHeader(std::uint64_t markerOffset, bool logged);
    void openFailed(const std::exception& failure);
    PrinterChannel* openPrinter(const std::string& name);
    FileChannel& openFile(OutputType type, const std::string& target,
                          const std::optional<NamedFileHeader>& named);
    void closeSection(std::uint64_t end);
    void notDelivered(const std::string& reason, std::uint64_t end);
    std::optional<std::string> keepSection(std::uint64_t end);
    void follow(platform::SpoolJobId spoolJob, std::uint64_t end);
    std::string holdCopy(std::uint64_t end);
    std::string copySection(std::uint64_t end, const std::string& name);
    void closeChannel();

    platform::Spooler& spooler_;
    platform::WatchedDirectory& directory_;
    const platform::Locations& program_;
    core::ActivityLog& log_;
    DeliveryObserver& deliveries_;
    JobReader reader_;
    // The settings of the job in hand, and the type of each of their rows.
    const core::Settings* settings_ = nullptr;
    std::array<OutputType, core::kOutputs> rowTypes_{};
    // The progress record of the job in hand, when it can be written.
    JobProgress* progress_ = nullptr;
    // The work file, beside which "failed" is, and the job's own name, which its kept sections
    // bear.
    std::string workPath_;
    std::string jobName_;
    // Whether every section of the job so far reached its output.
    bool allDelivered_ = true;
    // What "failed" holds, once the job has listed it.
    std::optional<std::uint64_t> failedHeld_;
    // Offset of the next byte to examine; beyond the block while a NamedFile header is skipped.
    std::uint64_t position_ = 0;
    // Sections begun in the job, and how many of them an earlier run delivered.
    std::uint64_t sectionsBegun_ = 0;
    std::uint64_t deliveredBefore_ = 0;
    // The channel of the section being delivered, one of the two, kept here so that a section
    // costs no allocation of its own.
    std::optional<PrinterChannel> printerChannel_;
    std::optional<FileChannel> fileChannel_;
    // The section being delivered; none before the first marker and for a section that has no
    // channel, whose bytes are dropped.
    std::optional<Section> section_;
    // None before the first marker, for NotUsed and unknown types, and for a section that an
    // earlier run dealt with.
    std::optional<SectionInHand> inHand_;
};

} // namespace routing
