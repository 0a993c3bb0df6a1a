#pragma once

#include "platform/RecordFile.h"
#include "process/SpooledSection.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace routing {

// The record, in the watched directory, of the spool jobs being followed: a restarted program
// goes on following them. It is rewritten whenever the set changes, not flushed to disk.
class SpoolJobRecord {
public:
    // What a read found: the jobs recorded whole, in order, and whether the record is damaged
    // after them (torn, garbled or too long), in which case the rest are lost.
    struct Read {
        std::vector<SpooledSection> sections;
        bool damaged = false;
    };

    explicit SpoolJobRecord(std::string path);

    // No record reads as none. Throws Failure when the record cannot be read.
    Read read() const;

    // Replaces the record by these jobs; none removes it. Throws Failure.
    void write(const std::vector<SpooledSection>& sections);

    const std::string& path() const { return path_; }

private:
    const std::string path_;
    // Where the held copies are: "failed" beside the record.
    const std::string failedDirectory_;
    std::optional<platform::RecordFile> file_;
};

} // namespace routing
