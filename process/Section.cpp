#include "process/Section.h"

#include "core/LogTexts.h"
#include "platform/Failure.h"
#include "process/Trailer.h"

#include <string>

namespace routing {

Section::Section(OutputType type, std::uint64_t dataStart, OutputChannel& channel,
                 JobReader& reader, core::ActivityLog& log)
    : type_(type), dataStart_(dataStart), channel_(channel), reader_(reader), log_(log) {}

void Section::send(const std::uint8_t* data, std::size_t count) {
    if (writeFailure_) {
        return;
    }
    try {
        channel_.write(data, count);
    } catch (const platform::Interrupted&) {
        throw;
    } catch (const std::exception&) {
        writeFailure_ = std::current_exception();
    }
}

void Section::deliver(std::uint8_t* data, std::size_t count) {
    std::size_t kept = count;
    while (kept > 0 && isLineEnd(data[kept - 1])) {
        --kept;
    }
    if (kept == 0) {
        heldLineEnds_ += count;
        return;
    }
    if (!writeFailure_) {
        if (heldLineEnds_ > 0) {
            sendHeldLineEnds();
        }
        rewriteFormFeeds(data, kept);
        send(data, kept);
    }
    length_ += heldLineEnds_ + kept;
    heldLineEnds_ = count - kept;
}

// The earlier block no longer holds them: they are read back from the job.
void Section::sendHeldLineEnds() {
    reader_.readBack(dataStart_ + length_, heldLineEnds_,
                     [this](std::uint8_t* chunk, std::size_t size) {
                         send(chunk, size);
                         return true;
                     });
}

// The trimmed section again, read back and rewritten; false when the job no longer holds it.
bool Section::sendCopy() {
    return reader_.readBack(dataStart_, length_, [this](std::uint8_t* chunk, std::size_t size) {
        rewriteFormFeeds(chunk, size);
        send(chunk, size);
        return !writeFailure_;
    });
}

void Section::appendTrailer() {
    const std::string_view lineEnds = trailerLineEnds(type_);
    send(reinterpret_cast<const std::uint8_t*>(lineEnds.data()), lineEnds.size());
    if (type_ == OutputType::DupTicket && sendCopy()) {
        send(&kFormFeed, 1);
    }
}

std::optional<std::string> Section::close() {
    // The held line ends are never written: they end the section.
    heldLineEnds_ = 0;
    if (length_ == 0) {
        // Nothing to deliver: the channel is released without it.
        const std::string empty = platform::description::kSubscriptOutOfRange;
        log_.write(std::string(logtext::kAddTrailer) + empty);
        log_.write(std::string(logtext::kCloseOutput) + empty);
        return std::nullopt;
    }
    appendTrailer();
    try {
        if (writeFailure_) {
            std::rethrow_exception(writeFailure_);
        }
        channel_.finish();
        return std::nullopt;
    } catch (const platform::Interrupted&) {
        throw;
    } catch (const std::exception& failure) {
        log_.writeFailure(logtext::kCloseOutput, failure);
        return platform::describe(failure);
    }
}

} // namespace routing
