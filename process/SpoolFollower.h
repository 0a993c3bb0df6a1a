#pragma once

#include "core/ActivityLog.h"
#include "core/Settings.h"
#include "platform/Clock.h"
#include "platform/Spooler.h"
#include "platform/WatchedDirectory.h"
#include "process/DeliveryObserver.h"
#include "process/SpoolJobRecord.h"
#include "process/SpooledSection.h"

#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace routing {

// Follows the spool jobs of printer sections until they end: a job printed is done, one that
// ended unprinted has its section kept in "failed", one that a printer in trouble holds back for
// longer than PRINTWAIT is named. Nothing is cancelled. Driven by the event loop, one round at a
// time, each asking every printer with jobs outstanding once.
class SpoolFollower {
public:
    static constexpr std::chrono::seconds kRoundInterval{1};
    // After a printer could not be asked: a print server that does not answer costs a question's
    // whole bound, which the event loop would otherwise pay every round.
    static constexpr std::chrono::seconds kRetryInterval{30};

    // A printer that the tray names: one that holds back a job named, with its state message, or
    // one that cannot be asked, with the failure.
    struct PrinterNote {
        std::string printer;
        std::string message;

        bool operator==(const PrinterNote&) const = default;
    };

    // recordPath is the record of the jobs followed, in the watched directory; a record that an
    // earlier run left is read here, and its jobs followed on. Kept sections go to "failed"
    // beside it. Never throws; failures are logged. The references must outlive it.
    SpoolFollower(platform::Spooler& spooler, platform::WatchedDirectory& directory,
                  const platform::Clock& clock, core::ActivityLog& log,
                  const core::Settings& settings, DeliveryObserver& deliveries,
                  std::string recordPath);

    // Follows the section from now on, dated now; the record holds it before this returns (a
    // record that cannot be written is logged).
    void follow(SpooledSection section);

    // Whether a round is due now, and when the next one is: nothing while no job is outstanding.
    bool roundDue() const;
    std::optional<std::chrono::milliseconds> nextRound() const;

    // Asks each printer with jobs outstanding how they stand, and deals with those that ended.
    // Never throws, but for Interrupted: a stop request cut a question short.
    void round();

    std::size_t outstanding() const { return followed_.size(); }
    // The printers to show, by name.
    std::vector<PrinterNote> printersToShow() const;
    // The jobs named as held back, in the order spooled, with their printer's message now.
    std::vector<HeldBackJob> heldBackJobs() const;

private:
    struct Followed {
        SpooledSection section;
        bool named = false;
        bool ended = false;
    };

    struct PrinterState {
        bool troubled = false;
        std::string message;
        // Why the printer cannot be asked now; logged once when it began.
        std::optional<std::string> askFailure;
    };

    void restore();
    bool ask(const std::string& printer, const std::vector<Followed*>& jobs);
    void troubleNow(const std::string& printer, const platform::PrinterReport& report);
    void settle(Followed& job, const platform::SpoolJobReport& report, const PrinterState& state);
    void notPrinted(const SpooledSection& section, const std::string& reason);
    std::optional<std::string> keepHeldCopy(const SpooledSection& section);
    void dropHeldCopy(const SpooledSection& section);
    void writeRecord();

    platform::Spooler& spooler_;
    platform::WatchedDirectory& directory_;
    const platform::Clock& clock_;
    core::ActivityLog& log_;
    const core::Settings& settings_;
    DeliveryObserver& deliveries_;
    SpoolJobRecord record_;
    std::vector<Followed> followed_;
    // Of the printers with jobs outstanding.
    std::map<std::string, PrinterState> printers_;
    // The printers whose jobs the log said cannot be followed.
    std::set<std::string> unfollowable_;
    // When the next round is due; nothing before the first.
    std::optional<std::chrono::steady_clock::time_point> nextRoundAt_;
};

} // namespace routing
