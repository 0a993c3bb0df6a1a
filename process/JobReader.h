#pragma once

#include "core/ActivityLog.h"
#include "platform/Files.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace routing {

// The job's work file, read block by block into one buffer for the reader's life, so that a job
// of any length takes the same memory. Offsets are bytes from the start of the job.
class JobReader {
public:
    // blockSize >= 1; room for at most keptMax bytes left unexamined is kept before each block.
    JobReader(std::size_t blockSize, std::size_t keptMax, core::ActivityLog& log);

    // Opens the work file at path (text). Throws Failure when it cannot be opened.
    void open(const std::string& path);
    // Takes the lock that one process at a time holds on the work file; false when another
    // process holds it. Throws Failure when the system refuses.
    bool lock() { return file_->lock(); }
    // The job's length when it was opened.
    std::uint64_t length() const { return length_; }
    // Removes the work file's name once its job is done. Throws Failure.
    void remove() { file_->remove(); }
    void close();

    // Reads the next block behind the bytes from offset keepFrom on, which stay. A job shorter
    // than at its opening, or unreadable, ends there with one LoadFile line.
    void readBlock(std::uint64_t keepFrom);

    // The offset of the buffer's first byte, the buffer and the number of bytes in it.
    std::uint64_t base() const { return base_; }
    std::uint8_t* data() { return buffer_.get(); }
    std::size_t size() const { return size_; }
    // Whether the last block read reached the end of the job.
    bool atEnd() const { return atEnd_; }

    // Reads up to the job's first count bytes; returns how many. Throws Failure when unreadable.
    std::size_t readStart(std::uint8_t* destination, std::size_t count);

    // Reads count bytes of the job at offset into destination; false, with the LoadFile line
    // logged once for the job, when they are no longer all there.
    bool readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count);

    // Reads count bytes at offset again, in chunks into the reader's own buffer, handing each to
    // take while it returns true. False as readAt.
    bool readBack(std::uint64_t offset, std::uint64_t count,
                  const std::function<bool(std::uint8_t* chunk, std::size_t size)>& take);

private:
    void cutShort(const std::exception& failure);

    core::ActivityLog& log_;
    const std::size_t blockSize_;
    const std::unique_ptr<std::uint8_t[]> buffer_;
    const std::size_t readBackSize_;
    const std::unique_ptr<std::uint8_t[]> readBackBuffer_;
    std::optional<platform::JobFile> file_;
    // The job's length when it was opened.
    std::uint64_t length_ = 0;
    std::uint64_t base_ = 0;
    std::size_t size_ = 0;
    bool atEnd_ = false;
    // A read came short or failed, and was logged: once for the job.
    bool cut_ = false;
};

} // namespace routing
