#pragma once

#include "core/OutputType.h"

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

// Told what became of the sections of each job, after the log lines that say it: the seam for
// whatever shows failures to the user.
class DeliveryObserver {
public:
    virtual ~DeliveryObserver() = default;

    virtual void sectionNotDelivered(const UndeliveredSection& section) = 0;

    // A job is done with: routed to its end, or given up (its work file kept in "failed");
    // allDelivered tells whether every section of it reached its output.
    virtual void jobEnded(bool allDelivered) = 0;
};

// Where nobody listens.
class UnobservedDeliveries final : public DeliveryObserver {
public:
    void sectionNotDelivered(const UndeliveredSection&) override {}
    void jobEnded(bool) override {}
};

} // namespace routing
