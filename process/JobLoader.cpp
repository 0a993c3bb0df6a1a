// Loading a job: the work file is read whole and deleted before any output is touched.
#include "process/modProcess.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/Failure.h"

#include <stdexcept>

namespace modProcess {
namespace {

// Twice the length of a job must fit a signed 32-bit count.
constexpr std::uint64_t kMaxJobLength = (std::uint64_t{1} << 30) - 1;

// Forgets the previous job, so that nothing of it is ever scanned again.
void forgetJob(JobState& s) {
    s.srcBuffer.reset();
    s.nSrcLength = 0;
    s.nSrcIndex = 0;
    s.destBuffer.reset();
    s.nDestLength = 0;
}

// Buffers are not zero-filled: every byte is written before it is read.
std::unique_ptr<std::uint8_t[]> allocate(std::uint64_t count) {
    return std::unique_ptr<std::uint8_t[]>(new std::uint8_t[count]);
}

} // namespace

void LoadFile() {
    JobState& s = jobState;
    forgetJob(s);
    const std::string path = platform::toCodepage(s.strJobPath);
    try {
        platform::JobFile file(path);
        const std::uint64_t length = file.length();
        if (length == 0) {
            throw std::out_of_range("empty job");
        }
        if (length > kMaxJobLength) {
            throw std::overflow_error("job too long");
        }
        auto src = allocate(length);
        // Room for every section and its trailer: a "Dup Ticket" of the whole job after a
        // marker at position 0 takes 2 (N - 4) + 9 bytes.
        const std::uint64_t destLength = 2 * length + 1;
        auto dest = allocate(destLength);
        if (file.read(src.get(), length) != length) {
            throw platform::Failure("Input past end of file");
        }
        file.remove();
        s.srcBuffer = std::move(src);
        s.nSrcLength = static_cast<std::int32_t>(length);
        s.destBuffer = std::move(dest);
        s.nDestLength = static_cast<std::int32_t>(destLength);
    } catch (const std::exception& failure) {
        modMain::logFailure(prefix::kLoadFile, failure);
        forgetJob(s);
        // A job that cannot be loaded is not left behind to be handed over again. Its failure
        // is logged above; a second failure to delete it adds nothing to that line.
        try {
            platform::deleteFile(path);
        } catch (const std::exception&) {
        }
    }
}

} // namespace modProcess
