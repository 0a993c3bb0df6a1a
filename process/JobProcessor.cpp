#include "process/JobProcessor.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "process/FailedSections.h"
#include "process/Markers.h"
#include "process/Trailer.h"

#include <algorithm>
#include <memory>

namespace routing {

JobProcessor::JobProcessor(platform::Spooler& spooler, platform::WatchedDirectory& directory,
                           const platform::Locations& program, core::ActivityLog& log,
                           DeliveryObserver& deliveries, std::size_t blockSize)
    : spooler_(spooler), directory_(directory), program_(program), log_(log),
      deliveries_(deliveries), reader_(std::max<std::size_t>(blockSize, 1), kMarkerLength, log) {}

JobOutcome JobProcessor::process(const WorkFile& work, const core::Settings& settings,
                                 JobProgress& progress) {
    settings_ = &settings;
    for (std::size_t row = 0; row < rowTypes_.size(); ++row) {
        rowTypes_[row] = outputtype::parse(settings.outputs[row].type);
    }
    position_ = 0;
    sectionsBegun_ = 0;
    deliveredBefore_ = 0;
    workPath_ = work.path;
    jobName_ = work.jobName;
    allDelivered_ = true;
    failedHeld_.reset();
    JobOutcome outcome = JobOutcome::NotProcessed;
    try {
        spooler_.beginJob();
        outcome = openWorkFile(work);
        if (outcome == JobOutcome::Done) {
            startRecord(work, progress);
            outcome = route(progress);
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kProcessFile, failure);
        allDelivered_ = false;
    }
    // A scan that ended at a failure may have left its section's channel open.
    closeChannel();
    inHand_.reset();
    reader_.close();
    settings_ = nullptr;
    progress_ = nullptr;
    if (outcome == JobOutcome::Done || outcome == JobOutcome::NotProcessed) {
        deliveries_.jobEnded(outcome == JobOutcome::Done && allDelivered_);
    }
    return outcome;
}

// Opens and locks the work file: Done when this process routes it. A work file that cannot be
// opened stays where it is, logged: the caller keeps it aside.
JobOutcome JobProcessor::openWorkFile(const WorkFile& work) {
    const std::string processing = std::string(logtext::kProcessing) + work.takenFrom;
    try {
        reader_.open(work.path);
    } catch (const platform::NotFound&) {
        return JobOutcome::TakenElsewhere; // another Tarvo on this directory routed it meanwhile
    } catch (const std::exception& failure) {
        log_.write(processing);
        log_.writeFailure(logtext::kLoadFile, failure);
        return JobOutcome::NotProcessed;
    }
    if (!reader_.lock() || !stillNamed(work)) {
        return JobOutcome::TakenElsewhere;
    }
    log_.write(processing);
    return JobOutcome::Done;
}

// Whether the work file's name still names the file handed over, now that it is locked. Another
// Tarvo may have routed and removed it between this one's open and lock, and a new job taken the
// name: the old file is not routed twice, and the new one not removed by its name unrouted.
bool JobProcessor::stillNamed(const WorkFile& work) {
    try {
        const platform::FileIdentity named = directory_.identity(work.path);
        return named.device == work.identity.device && named.inode == work.identity.inode;
    } catch (const platform::NotFound&) {
        return false;
    }
}

// Begins or takes up the job's progress record, which knows the job's own name when an earlier
// run handed it over. A record that cannot be written is logged once: the job is routed all the
// same, only a crash would deliver more of it again.
void JobProcessor::startRecord(const WorkFile& work, JobProgress& progress) {
    try {
        std::optional<JobProgress::Recorded> recorded;
        if (work.jobName.empty()) {
            recorded = progress.read(work.identity);
        }
        if (recorded) {
            jobName_ = recorded->jobName;
            deliveredBefore_ = recorded->delivered;
            log_.write(std::string(logtext::kResuming) + work.path +
                       std::string(logtext::kResumingSkipping) + std::to_string(deliveredBefore_) +
                       std::string(logtext::kResumingSkipped));
            progress.resume(*recorded, work.identity);
        } else {
            progress.begin(work.jobName, work.identity);
        }
        progress_ = &progress;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kProcessFile, failure);
    }
    if (jobName_.empty()) {
        jobName_ = platform::fileNameOf(work.path);
    }
}

// Scans the job to its end, then removes the work file and its record.
JobOutcome JobProcessor::route(JobProgress& progress) {
    if (reader_.length() == 0) {
        log_.write(std::string(logtext::kLoadFile) + platform::description::kSubscriptOutOfRange);
    } else {
        try {
            scan();
        } catch (const platform::Interrupted&) {
            return JobOutcome::Interrupted;
        }
    }
    try {
        reader_.remove();
    } catch (const platform::NotFound&) {
        // Removed by someone else once its sections were out (its directory, say): done.
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kLoadFile, failure);
        return JobOutcome::NotProcessed;
    }
    progress.end();
    return JobOutcome::Done;
}

void JobProcessor::scan() {
    try {
        do {
            reader_.readBlock(position_);
            scanBlock();
        } while (!reader_.atEnd());
        closeSection(reader_.base() + reader_.size());
    } catch (const platform::Interrupted&) {
        throw;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kProcessBuffer, failure);
        allDelivered_ = false;
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
        take(block + dataFrom, at - dataFrom);
        closeSection(base + at);
        openSection(markerOutput(block + at), base + at);
        if (position_ >= base + decidedEnd) {
            return;
        }
        dataFrom = static_cast<std::size_t>(position_ - base);
    }
    take(block + dataFrom, decidedEnd - dataFrom);
    position_ = base + decidedEnd;
}

// Hands a span of the section's data to its channel; without one, notes whether data are lost.
void JobProcessor::take(std::uint8_t* data, std::size_t count) {
    if (section_) {
        section_->deliver(data, count);
    } else if (inHand_ && !inHand_->lostData) {
        inHand_->lostData =
            std::any_of(data, data + count, [](std::uint8_t b) { return !isLineEnd(b); });
    }
}

// Opens the section of the marker at markerOffset. A section that an earlier run delivered is
// only passed over: no channel, no log line.
void JobProcessor::openSection(int output, std::uint64_t markerOffset) {
    const bool delivering = ++sectionsBegun_ > deliveredBefore_;
    const auto row = static_cast<std::size_t>(output - 1);
    const OutputType type = rowTypes_[row];
    if (delivering && type != OutputType::NotUsed && type != OutputType::Unknown) {
        inHand_.emplace(SectionInHand{output, type, markerOffset, std::nullopt, false});
    }
    std::optional<NamedFileHeader> named;
    if (type == OutputType::NamedFile) {
        named = namedFileHeader(markerOffset, delivering);
    }
    const std::uint64_t dataStart = named ? named->dataStart : markerOffset + kMarkerLength;
    position_ = dataStart;
    if (!delivering) {
        return;
    }
    try {
        const core::Output& rowSettings = settings_->outputs[row];
        const std::string& target = rowSettings.target;
        if (rowSettings.targetCut && inHand_) {
            throw platform::Failure(platform::description::kTargetCut);
        }
        if (outputtype::isPrinter(type)) {
            if (PrinterChannel* printer = openPrinter(target)) {
                section_.emplace(type, dataStart, *printer, reader_, log_);
            }
        } else if (type == OutputType::File || type == OutputType::NamedFile) {
            FileChannel& file = openFile(type, target, named);
            section_.emplace(type, dataStart, file, reader_, log_);
        }
    } catch (const platform::Interrupted&) {
        throw;
    } catch (const std::exception& failure) {
        openFailed(failure);
    }
}

// The NamedFile header of the marker at markerOffset; nothing, with the OpenOutput line when
// logged, when it is not at the job's start or is malformed.
std::optional<NamedFileHeader> JobProcessor::namedFileHeader(std::uint64_t markerOffset,
                                                             bool logged) {
    try {
        std::uint8_t header[kNamedFileHeaderLength];
        const std::size_t length = markerOffset == 0 ? reader_.readStart(header, sizeof header) : 0;
        return readNamedFileHeader(header, length, markerOffset);
    } catch (const std::exception& failure) {
        if (logged) {
            openFailed(failure);
        }
        return std::nullopt;
    }
}

// Logs the OpenOutput line: the section in hand has no output, for the first reason given.
void JobProcessor::openFailed(const std::exception& failure) {
    log_.writeFailure(logtext::kOpenOutput, failure);
    if (inHand_ && !inHand_->openFailure) {
        inHand_->openFailure = platform::describe(failure);
    }
}

// A printer that the spooler does not know gives no channel, with its line.
PrinterChannel* JobProcessor::openPrinter(const std::string& name) {
    std::unique_ptr<platform::Spooler::Printer> printer = spooler_.openPrinter(name);
    if (!printer) {
        log_.write(logtext::kPrinterNotRecognized);
        inHand_->openFailure = std::string(logtext::kPrinterNotRecognized);
        return nullptr;
    }
    return &printerChannel_.emplace(std::move(printer));
}

// The channel counts as open even when the file's open fails (logged here, or with the header):
// the section is still scanned, and its delivery fails at the end with the CloseOutput line.
FileChannel& JobProcessor::openFile(OutputType type, const std::string& target,
                                    const std::optional<NamedFileHeader>& named) {
    FileChannel& channel = fileChannel_.emplace();
    try {
        if (type == OutputType::File) {
            channel.open(platform::toCodepage(target));
        } else if (named) {
            checkFileName(program_, target, named->name);
            // Opened inside the directory, never through a link planted in the name's place.
            channel.open(platform::toCodepage(target), named->name);
        }
    } catch (const std::exception& failure) {
        openFailed(failure);
    }
    return channel;
}

// Ends the section in hand, which ends before offset end, keeps it when it was not delivered, and
// records it dealt with (delivered or kept) unless an earlier run did. A section that had no
// output and did not fail (NotUsed, an unknown type) is not recorded by itself: the next record
// counts it, and a run that takes the job up again drops it again, which changes nothing.
void JobProcessor::closeSection(std::uint64_t end) {
    std::optional<std::string> why;
    if (section_) {
        why = section_->close();
        if (!why && printerChannel_ && printerChannel_->spoolJob() &&
            deliveries_.followsSpoolJobs()) {
            follow(*printerChannel_->spoolJob(), end);
        }
    } else if (inHand_ && inHand_->lostData) {
        why = inHand_->openFailure;
    }
    const bool hadOutput = printerChannel_.has_value() || fileChannel_.has_value();
    closeChannel();
    if (why && inHand_) {
        // The first failure says best why: a file that did not open, rather than its write.
        notDelivered(inHand_->openFailure.value_or(*why), end);
    }
    inHand_.reset();
    // A failed printer section has no channel but was kept, and must not be kept again.
    const bool dealtWith = hadOutput || why.has_value();
    if (progress_ != nullptr && dealtWith && sectionsBegun_ > deliveredBefore_) {
        try {
            progress_->delivered(sectionsBegun_);
        } catch (const std::exception& failure) {
            log_.writeFailure(logtext::kProcessFile, failure);
            progress_ = nullptr;
        }
    }
}

void JobProcessor::notDelivered(const std::string& reason, std::uint64_t end) {
    allDelivered_ = false;
    const auto row = static_cast<std::size_t>(inHand_->output - 1);
    deliveries_.sectionNotDelivered(
        {inHand_->output, settings_->outputs[row].target, inHand_->type, reason, keepSection(end)});
}

// Hands the printer section in hand, which ends before offset end, to the follower of its spool
// job, with its copy held.
void JobProcessor::follow(platform::SpoolJobId spoolJob, std::uint64_t end) {
    const auto row = static_cast<std::size_t>(inHand_->output - 1);
    deliveries_.sectionSpooled({settings_->outputs[row].target, spoolJob, jobName_, sectionsBegun_,
                                inHand_->output, inHand_->type, holdCopy(end), 0});
}

// Writes the section as kept sections hold it into "failed" under a name beginning with ".";
// its path, or empty, with a line, when it could not be held.
std::string JobProcessor::holdCopy(std::uint64_t end) {
    try {
        // Put together by appending, which g++ 12 does not wrongly warn of (-Wrestrict).
        std::string hidden(1, '.');
        hidden += keptSectionName(jobName_, sectionsBegun_);
        return copySection(end, hidden);
    } catch (const std::exception& failure) {
        log_.write(std::string(logtext::kHoldSection) + sectionOfJob(sectionsBegun_, jobName_) +
                   std::string(logtext::kNotHeld) + platform::describe(failure));
        return {};
    }
}

// Writes the job's bytes from the section's marker to end, the section as it stood in the job,
// into "failed" as a job of its own; one line says where, or why not. Its path, when kept.
std::optional<std::string> JobProcessor::keepSection(std::uint64_t end) {
    const std::string line =
        std::string(logtext::kKeepSection) + sectionOfJob(sectionsBegun_, jobName_);
    try {
        std::string kept = copySection(end, keptSectionName(jobName_, sectionsBegun_));
        log_.write(line + std::string(logtext::kKeptAs) + kept);
        return kept;
    } catch (const std::exception& failure) {
        log_.write(line + std::string(logtext::kNotKept) + platform::describe(failure));
        return std::nullopt;
    }
}

// The section in hand, from its marker to end, written into "failed" as name (or the first free
// of name.1, ...) within FAILEDMAX; its path. Throws Failure.
std::string JobProcessor::copySection(std::uint64_t end, const std::string& name) {
    const std::uint64_t size = end - inHand_->markerOffset;
    // "failed" is listed once a job, when something is first to be written there; what this job
    // writes is added.
    if (!failedHeld_) {
        failedHeld_ = directory_.failedSize(workPath_);
    }
    checkFailedRoom(*failedHeld_, size, settings_->failedMaxMiB);
    const std::unique_ptr<platform::FailedFile> file = directory_.createInFailed(workPath_, name);
    const bool whole = reader_.readBack(inHand_->markerOffset, size,
                                        [&file](std::uint8_t* chunk, std::size_t count) {
                                            file->write(chunk, count);
                                            return true;
                                        });
    if (!whole) {
        throw platform::Failure(platform::description::kInputPastEnd);
    }
    std::string path = file->keep();
    *failedHeld_ += size;
    return path;
}

// Releases the section's channel: a document that did not end prints nothing, a file is closed.
void JobProcessor::closeChannel() {
    section_.reset();
    printerChannel_.reset();
    fileChannel_.reset();
}

} // namespace routing
