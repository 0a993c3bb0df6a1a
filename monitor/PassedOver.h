#pragma once

#include "platform/WatchedDirectory.h"

#include <map>
#include <optional>
#include <string>

namespace monitor {

// Files the monitor passes over, remembered by path between ticks: jobs a failed hand-off left
// in place (until they change) and files that cannot be examined (logged once). One that a look
// should have reached and did not is gone, and forgotten.
class PassedOver {
public:
    // A look through the listing, in byte order of names, begins.
    void beginListing();
    void reached(const std::string& path);
    // The look stopped at path, or went through the whole listing when path is empty.
    void endListing(const std::string& stoppedAt);

    void leaveInPlace(const std::string& path, const platform::FileIdentity& identity);
    // The identity that path had when it was left in place; nullptr when it was not.
    const platform::FileIdentity* leftInPlace(const std::string& path) const;

    // Notes that path cannot be examined: true the first time, until it is forgotten.
    bool cannotExamine(const std::string& path);

    void forget(const std::string& path);

private:
    struct Entry {
        std::optional<platform::FileIdentity> leftAs;
        bool cannotExamine = false;
        bool reached = false;
    };
    std::map<std::string, Entry> entries_;
};

} // namespace monitor
