// Loading a job: the work file is opened and removed before any output is touched, then read
// block by block while it is scanned.
#include "process/JobState.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <cstring>
#include <string>

namespace modProcess {
namespace {

constexpr const char* kInputPastEnd = "Input past end of file";

// The job cannot be read as far as it reached when it was opened: another process shortened
// it, or the system failed to read it. Logged once, whichever read finds it first.
void jobCut(JobState& s, const std::exception& failure) {
    if (!s.bJobCut) {
        s.bJobCut = true;
        modMain::logFailure(prefix::kLoadFile, failure);
    }
}

} // namespace

bool LoadFile(JobState& s, const std::string& path) {
    const std::string osPath = platform::toCodepage(path);
    try {
        s.file.emplace(osPath);
        s.nJobLength = s.file->length();
        s.file->remove();
        if (s.nJobLength > 0) {
            return true;
        }
        modMain::logError(std::string(prefix::kLoadFile) +
                          platform::description::kSubscriptOutOfRange);
        s.file.reset();
        return false;
    } catch (const std::exception& failure) {
        // A job that cannot be opened or removed stays where it is, the only copy of its
        // sections: the caller finds the work file still there and keeps it aside.
        modMain::logFailure(prefix::kLoadFile, failure);
        s.file.reset();
        return false;
    }
}

void readBlock(JobState& s) {
    std::uint8_t* buffer = s.srcBuffer.get();
    // Offset just after the last byte read so far.
    const std::uint64_t readSoFar = s.nSrcBase + s.nSrcEnd;
    std::size_t kept = 0;
    if (s.nSrcIndex < readSoFar) {
        kept = static_cast<std::size_t>(readSoFar - s.nSrcIndex);
        std::memmove(buffer, buffer + (s.nSrcIndex - s.nSrcBase), kept);
        s.nSrcBase = s.nSrcIndex;
    } else {
        s.nSrcBase = readSoFar;
    }
    std::size_t got = 0;
    try {
        got = s.file->read(buffer + kept, s.nBlockSize);
        if (got < s.nBlockSize && readSoFar + got < s.nJobLength) {
            throw platform::Failure(kInputPastEnd);
        }
    } catch (const std::exception& failure) {
        jobCut(s, failure);
    }
    s.nSrcEnd = kept + got;
    s.bSrcAtEnd = got < s.nBlockSize;
}

bool readBack(JobState& s, std::uint64_t offset, std::uint8_t* destination, std::size_t count) {
    try {
        if (s.file->readAt(offset, destination, count) == count) {
            return true;
        }
        throw platform::Failure(kInputPastEnd);
    } catch (const std::exception& failure) {
        jobCut(s, failure);
        return false;
    }
}

} // namespace modProcess
