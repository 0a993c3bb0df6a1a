#pragma once

#include "platform/RecordFile.h"
#include "platform/WatchedDirectory.h"

#include <cstdint>
#include <optional>
#include <string>

namespace routing {

// The record, beside the work file, of how many of the job's sections are delivered: a job cut
// off by a crash or a kill goes on from its first section that is not, so that no section is
// lost and none but the one in hand is delivered twice. It is written after every section and
// not flushed to disk: after a power cut more may be delivered again.
class JobProgress {
public:
    // What a record tells of a work file.
    struct Recorded {
        // The job's own name, before it became the work file.
        std::string jobName;
        std::uint64_t delivered = 0;
    };

    // The record at recordPath (text).
    explicit JobProgress(std::string recordPath);

    // A job has just been handed over: the record names it and the work file, with no section
    // delivered yet. Throws Failure when the record cannot be written.
    void begin(const std::string& jobName, const platform::FileIdentity& workFile);

    // What the record says of the work file of that identity; nothing when there is no record,
    // or one of another file or unreadable.
    std::optional<Recorded> read(const platform::FileIdentity& workFile) const;

    // Goes on with the record that read() found, for a job that goes on.
    void resume(const Recorded& recorded, const platform::FileIdentity& workFile);

    // count sections are delivered. Throws Failure when the record cannot be written.
    void delivered(std::uint64_t count);

    // The job is done, or has gone: the record goes. Never throws.
    void end();

    const std::string& path() const { return path_; }

private:
    void write();

    const std::string path_;
    std::optional<platform::RecordFile> file_;
    std::string jobName_;
    platform::FileIdentity workFile_;
    std::uint64_t delivered_ = 0;
};

} // namespace routing
