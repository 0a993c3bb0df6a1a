#include "process/SpoolFollower.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/RecordFile.h"
#include "process/FailedSections.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace routing {
namespace {

using std::chrono::milliseconds;

std::string spoolJobOn(const SpooledSection& section) {
    return std::string(logtext::kSpoolJob) + std::to_string(section.spoolJob) +
           std::string(logtext::kOnPrinter) + section.printer;
}

} // namespace

SpoolFollower::SpoolFollower(platform::Spooler& spooler, platform::WatchedDirectory& directory,
                             const platform::Clock& clock, core::ActivityLog& log,
                             const core::Settings& settings, DeliveryObserver& deliveries,
                             std::string recordPath)
    : spooler_(spooler), directory_(directory), clock_(clock), log_(log), settings_(settings),
      deliveries_(deliveries), record_(std::move(recordPath)) {
    restore();
}

// Takes up the jobs that the record holds; a damaged record gives those read before the damage,
// and is written anew without it.
void SpoolFollower::restore() {
    try {
        SpoolJobRecord::Read read = record_.read();
        for (SpooledSection& section : read.sections) {
            followed_.push_back({std::move(section), false, false});
        }
        if (read.damaged) {
            log_.write(std::string(logtext::kReadJobRecord) + record_.path() +
                       std::string(logtext::kDamagedAfter) + std::to_string(followed_.size()) +
                       std::string(logtext::kNotFollowed));
            writeRecord();
        }
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kReadJobRecord, failure);
    }
}

void SpoolFollower::follow(SpooledSection section) {
    section.spooledAt = clock_.now();
    followed_.push_back({std::move(section), false, false});
    writeRecord();
}

bool SpoolFollower::roundDue() const {
    return !followed_.empty() && (!nextRoundAt_ || clock_.steadyNow() >= *nextRoundAt_);
}

std::optional<milliseconds> SpoolFollower::nextRound() const {
    if (followed_.empty()) {
        return std::nullopt;
    }
    if (!nextRoundAt_) {
        return kRoundInterval;
    }
    const auto due = std::chrono::duration_cast<milliseconds>(*nextRoundAt_ - clock_.steadyNow());
    return std::max(due, milliseconds(0));
}

void SpoolFollower::round() {
    nextRoundAt_ = clock_.steadyNow() + kRoundInterval;
    std::map<std::string, std::vector<Followed*>> byPrinter;
    for (Followed& job : followed_) {
        byPrinter[job.section.printer].push_back(&job);
    }
    std::erase_if(printers_, [&byPrinter](const auto& entry) {
        return byPrinter.find(entry.first) == byPrinter.end();
    });
    const std::size_t before = followed_.size();
    try {
        // The first printer that cannot be asked ends the round: the others are most likely
        // behind the same print server.
        for (const auto& [printer, jobs] : byPrinter) {
            if (!ask(printer, jobs)) {
                nextRoundAt_ = clock_.steadyNow() + kRetryInterval;
                break;
            }
        }
    } catch (const platform::Interrupted&) {
        std::erase_if(followed_, [](const Followed& job) { return job.ended; });
        writeRecord();
        throw;
    }
    std::erase_if(followed_, [](const Followed& job) { return job.ended; });
    if (followed_.size() != before) {
        writeRecord();
    }
}

// One question to the printer, and what its answer means for its jobs; false when it could not be
// asked.
bool SpoolFollower::ask(const std::string& printer, const std::vector<Followed*>& jobs) {
    PrinterState& state = printers_[printer];
    std::vector<platform::SpoolJobId> ids;
    ids.reserve(jobs.size());
    for (const Followed* job : jobs) {
        ids.push_back(job->section.spoolJob);
    }
    platform::PrinterReport report;
    try {
        report = spooler_.askPrinter(printer, ids);
    } catch (const platform::Interrupted&) {
        throw;
    } catch (const std::exception& failure) {
        const std::string why = platform::describe(failure);
        if (!state.askFailure) {
            log_.write(std::string(logtext::kAskPrinter) + printer +
                       std::string(logtext::kBecause) + why);
        }
        state.askFailure = why;
        return false;
    }
    state.askFailure.reset();
    troubleNow(printer, report);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        // A job the answer leaves out waits, to be asked about again.
        settle(*jobs[i],
               i < report.jobs.size()
                   ? report.jobs[i]
                   : platform::SpoolJobReport{platform::SpoolJobState::Waiting, {}},
               state);
    }
    return true;
}

// One line when the printer's trouble begins, one when it ends.
void SpoolFollower::troubleNow(const std::string& printer, const platform::PrinterReport& report) {
    PrinterState& state = printers_[printer];
    const std::string line =
        std::string(logtext::kFollow) + std::string(logtext::kPrinter) + printer;
    if (report.troubled && !state.troubled) {
        log_.write(line + std::string(logtext::kInTrouble) +
                   (report.message.empty() ? std::string()
                                           : std::string(logtext::kBecause) + report.message));
    } else if (!report.troubled && state.troubled) {
        log_.write(line + std::string(logtext::kOutOfTrouble));
    }
    state.troubled = report.troubled;
    state.message = report.message;
}

void SpoolFollower::settle(Followed& job, const platform::SpoolJobReport& report,
                           const PrinterState& state) {
    const SpooledSection& section = job.section;
    switch (report.state) {
    case platform::SpoolJobState::Completed:
        dropHeldCopy(section);
        job.ended = true;
        return;
    case platform::SpoolJobState::Failed:
        notPrinted(section,
                   report.reason.empty() ? std::string(logtext::kNoReason) : report.reason);
        job.ended = true;
        return;
    case platform::SpoolJobState::Unknown:
        if (unfollowable_.insert(section.printer).second) {
            log_.write(std::string(logtext::kFollow) + std::string(logtext::kPrinter) +
                       section.printer + std::string(logtext::kJobsCannotBeFollowed));
        }
        dropHeldCopy(section);
        job.ended = true;
        return;
    case platform::SpoolJobState::Waiting:
        break;
    }
    const auto wait =
        static_cast<std::time_t>(std::min<std::uint64_t>(settings_.printWaitSeconds, INT32_MAX));
    if (job.named || !state.troubled || clock_.now() - section.spooledAt < wait) {
        return;
    }
    job.named = true;
    std::string line = std::string(logtext::kFollow) + std::string(logtext::kPrinter) +
                       section.printer + std::string(logtext::kHoldsBackSpoolJob) +
                       std::to_string(section.spoolJob) + std::string(logtext::kSince) +
                       platform::generalDate(section.spooledAt);
    if (!state.message.empty()) {
        line += std::string(logtext::kBecause) + state.message;
    }
    log_.write(line);
    deliveries_.spoolJobHeldBack({section, state.message});
}

// The line of the job that ended unprinted, its section kept, and the observer told.
void SpoolFollower::notPrinted(const SpooledSection& section, const std::string& reason) {
    log_.write(std::string(logtext::kFollow) + sectionOfJob(section.ordinal, section.jobName) +
               spoolJobOn(section) + std::string(logtext::kNotPrinted) + reason);
    std::optional<std::string> keptAs = keepHeldCopy(section);
    deliveries_.sectionNotDelivered(
        {section.output, section.printer, section.type, reason, std::move(keptAs)});
}

// The held copy becomes the kept section, as job processing keeps one, within FAILEDMAX, where
// its bytes already count; one line says where, or why not. Its path, when kept.
std::optional<std::string> SpoolFollower::keepHeldCopy(const SpooledSection& section) {
    const std::string line =
        std::string(logtext::kKeepSection) + sectionOfJob(section.ordinal, section.jobName);
    std::optional<std::string> kept;
    try {
        if (section.heldCopy.empty()) {
            throw platform::Failure(std::string(logtext::kNoCopyHeld));
        }
        platform::JobFile held(platform::toCodepage(section.heldCopy));
        checkFailedRoom(directory_.failedSize(record_.path()), 0, settings_.failedMaxMiB);
        const std::unique_ptr<platform::FailedFile> file = directory_.createInFailed(
            record_.path(), keptSectionName(section.jobName, section.ordinal));
        std::array<std::uint8_t, 64 * 1024> chunk{};
        while (const std::size_t count = held.read(chunk.data(), chunk.size())) {
            file->write(chunk.data(), count);
        }
        kept = file->keep();
        log_.write(line + std::string(logtext::kKeptAs) + *kept);
    } catch (const std::exception& failure) {
        log_.write(line + std::string(logtext::kNotKept) + platform::describe(failure));
    }
    dropHeldCopy(section);
    return kept;
}

// A held copy that cannot be removed stays hidden in "failed", where it harms nothing.
void SpoolFollower::dropHeldCopy(const SpooledSection& section) {
    if (section.heldCopy.empty()) {
        return;
    }
    try {
        platform::removeRecord(section.heldCopy);
    } catch (const std::exception&) {
    }
}

void SpoolFollower::writeRecord() {
    std::vector<SpooledSection> sections;
    sections.reserve(followed_.size());
    for (const Followed& job : followed_) {
        sections.push_back(job.section);
    }
    try {
        record_.write(sections);
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kWriteJobRecord, failure);
    }
}

std::vector<SpoolFollower::PrinterNote> SpoolFollower::printersToShow() const {
    std::vector<PrinterNote> notes;
    for (const auto& entry : printers_) {
        const std::string& printer = entry.first;
        const PrinterState& state = entry.second;
        const bool holdsNamed =
            std::any_of(followed_.begin(), followed_.end(), [&printer](const Followed& job) {
                return job.named && job.section.printer == printer;
            });
        if (state.askFailure) {
            notes.push_back({printer, *state.askFailure});
        } else if (holdsNamed) {
            notes.push_back({printer, state.message});
        }
    }
    return notes;
}

std::vector<HeldBackJob> SpoolFollower::heldBackJobs() const {
    std::vector<HeldBackJob> jobs;
    for (const Followed& job : followed_) {
        if (job.named) {
            const auto state = printers_.find(job.section.printer);
            jobs.push_back(
                {job.section, state == printers_.end() ? std::string() : state->second.message});
        }
    }
    return jobs;
}

} // namespace routing
