#pragma once

#include "core/OutputType.h"
#include "process/SpooledSection.h"

#include <optional>
#include <string>

namespace routing {

// A section that did not reach its output.
struct UndeliveredSection {
    // The output row, 1 to 9, with the target and type that the settings gave it.
    int output = 0;
    std::string target;
    OutputType type = OutputType::Unknown;
    // Why: the failure's description, or "Printer Name not recognized.".
    std::string reason;
    // The path of the job of its own that holds the section in "failed"; nothing when it could
    // not be kept.
    std::optional<std::string> keptAs;

    bool operator==(const UndeliveredSection&) const = default;
};

// A followed spool job that a printer in trouble has held back for longer than PRINTWAIT.
struct HeldBackJob {
    SpooledSection section;
    // The printer's own state message; may be empty.
    std::string message;
};

// Told what became of the sections of each job, after the log lines that say it: the seam for
// whatever shows failures to the user, and for the follower of the spool jobs.
class DeliveryObserver {
public:
    virtual ~DeliveryObserver() = default;

    virtual void sectionNotDelivered(const UndeliveredSection& section) = 0;

    // Whether a printer section is followed until its spool job ends: when it is, job
    // processing holds a copy of each one whose spool job has an id and hands it to
    // sectionSpooled, before the progress record counts it; when not, a section is done once
    // the spooler took it.
    virtual bool followsSpoolJobs() const = 0;
    virtual void sectionSpooled(const SpooledSection& section) = 0;

    // A followed spool job is held back (told once per job).
    virtual void spoolJobHeldBack(const HeldBackJob& job) = 0;

    // A job is done with: routed to its end, or given up (its work file kept in "failed");
    // allDelivered tells whether every section of it reached its output.
    virtual void jobEnded(bool allDelivered) = 0;
};

// Where nobody listens.
class UnobservedDeliveries final : public DeliveryObserver {
public:
    void sectionNotDelivered(const UndeliveredSection&) override {}
    bool followsSpoolJobs() const override { return false; }
    void sectionSpooled(const SpooledSection&) override {}
    void spoolJobHeldBack(const HeldBackJob&) override {}
    void jobEnded(bool) override {}
};

} // namespace routing
