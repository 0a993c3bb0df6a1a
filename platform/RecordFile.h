#pragma once

#include "platform/Files.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A small file of the program's own, rewritten in place: the record of a job's progress. A write
// reaches the system at once, so that it outlives the process however the process ends; it is
// not flushed to disk, so a power cut may lose it. Paths are text (see Codepage.h).
class RecordFile {
public:
    // Creates the file, or opens it when it exists; a regular file only, never through a link.
    explicit RecordFile(const std::string& path);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Replaces the file's content: one write where it is no shorter than the last.
    void write(std::string_view content);

private:
    FileHandle handle_;
    // The length of the content last written; unknown (the largest) before the first write.
    std::size_t length_ = static_cast<std::size_t>(-1);
};

// The first maxBytes bytes of the regular file at path; nothing when there is no file there.
// Throws Failure when it cannot be read.
std::optional<std::string> readRecord(const std::string& path, std::size_t maxBytes);

// Removes the file at path; a file that is not there is no failure.
void removeRecord(const std::string& path);

} // namespace platform
