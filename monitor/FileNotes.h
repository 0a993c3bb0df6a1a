#pragma once

#include "platform/WatchedDirectory.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace monitor {

// What the monitor remembers of the watched directory's files from one look to the next, by
// name: jobs that a failed hand-off left in place (passed over until they change), files that
// cannot be examined (logged once), and files whose use by other processes cannot be told (taken
// once they have stood unchanged for a while). A file that a listing no longer shows is forgotten.
class FileNotes {
public:
    using Time = std::chrono::steady_clock::time_point;

    // A file whose use cannot be told: how it was when first seen so, and since when.
    struct Undecided {
        platform::FileIdentity identity;
        Time since;
    };

    // Forgets every file whose name is not among names (in byte order).
    void keepOnly(const std::vector<std::string>& names);

    void leaveInPlace(const std::string& name, const platform::FileIdentity& identity);
    // The identity that the file had when it was left in place; nullptr when it was not.
    const platform::FileIdentity* leftInPlace(const std::string& name) const;

    // Notes that the file cannot be examined: true the first time, until it is forgotten.
    bool firstTimeUnexaminable(const std::string& name);

    // The file's use cannot be told; nullptr when that is not known of it.
    Undecided* undecided(const std::string& name);
    void noteUndecided(const std::string& name, const platform::FileIdentity& identity, Time now);

    void forget(const std::string& name);

private:
    struct Note {
        std::optional<platform::FileIdentity> leftAs;
        bool unexaminable = false;
        std::optional<Undecided> undecided;
    };
    std::map<std::string, Note> notes_;
};

} // namespace monitor
