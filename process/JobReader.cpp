#include "process/JobReader.h"

#include "core/LogTexts.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <algorithm>
#include <cstring>

namespace routing {
namespace {

constexpr std::size_t kReadBackSize = 64 * 1024;

} // namespace

JobReader::JobReader(std::size_t blockSize, std::size_t keptMax, core::ActivityLog& log)
    : log_(log), blockSize_(blockSize), buffer_(new std::uint8_t[keptMax + blockSize]),
      readBackSize_(std::min(blockSize, kReadBackSize)),
      readBackBuffer_(new std::uint8_t[readBackSize_]) {}

void JobReader::open(const std::string& path) {
    base_ = 0;
    size_ = 0;
    atEnd_ = false;
    cut_ = false;
    file_.reset();
    file_.emplace(platform::toCodepage(path));
    length_ = file_->length();
}

void JobReader::close() {
    file_.reset();
}

void JobReader::readBlock(std::uint64_t keepFrom) {
    std::uint8_t* buffer = buffer_.get();
    const std::uint64_t readSoFar = base_ + size_;
    std::size_t kept = 0;
    if (keepFrom < readSoFar) {
        kept = static_cast<std::size_t>(readSoFar - keepFrom);
        std::memmove(buffer, buffer + (keepFrom - base_), kept);
        base_ = keepFrom;
    } else {
        base_ = readSoFar;
    }
    std::size_t got = 0;
    try {
        got = file_->read(buffer + kept, blockSize_);
        if (got < blockSize_ && readSoFar + got < length_) {
            throw platform::Failure(platform::description::kInputPastEnd);
        }
    } catch (const std::exception& failure) {
        cutShort(failure);
    }
    size_ = kept + got;
    atEnd_ = got < blockSize_;
}

std::size_t JobReader::readStart(std::uint8_t* destination, std::size_t count) {
    return file_->readAt(0, destination, count);
}

bool JobReader::readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) {
    try {
        if (file_->readAt(offset, destination, count) == count) {
            return true;
        }
        throw platform::Failure(platform::description::kInputPastEnd);
    } catch (const std::exception& failure) {
        cutShort(failure);
        return false;
    }
}

bool JobReader::readBack(std::uint64_t offset, std::uint64_t count,
                         const std::function<bool(std::uint8_t*, std::size_t)>& take) {
    for (std::uint64_t left = count; left > 0;) {
        const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, readBackSize_));
        if (!readAt(offset, readBackBuffer_.get(), chunk)) {
            return false;
        }
        if (!take(readBackBuffer_.get(), chunk)) {
            break;
        }
        offset += chunk;
        left -= chunk;
    }
    return true;
}

// Another process shortened the job, or a read failed: logged once, by whichever read finds it.
void JobReader::cutShort(const std::exception& failure) {
    if (!cut_) {
        cut_ = true;
        log_.writeFailure(logtext::kLoadFile, failure);
    }
}

} // namespace routing
