#include "process/JobProgress.h"

#include "platform/Paths.h"
#include "process/RecordText.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace routing {
namespace {

// The record's first line; then the work file's device, inode and size, the sections delivered,
// and the job's name, one to a line.
constexpr std::string_view kHeading = "Tarvo job progress 1\n";
// Far more than a record of a job name of the longest a file system allows.
constexpr std::size_t kLargestRecord = 4096;
// The digits of the largest count of sections.
constexpr std::size_t kCountWidth = 20;

} // namespace

JobProgress::JobProgress(std::string recordPath) : path_(std::move(recordPath)) {}

void JobProgress::begin(const std::string& jobName, const platform::FileIdentity& workFile) {
    resume({jobName, 0}, workFile);
}

void JobProgress::resume(const Recorded& recorded, const platform::FileIdentity& workFile) {
    file_.emplace(path_);
    jobName_ = recorded.jobName;
    workFile_ = workFile;
    delivered_ = recorded.delivered;
    write();
}

std::optional<JobProgress::Recorded>
JobProgress::read(const platform::FileIdentity& workFile) const {
    std::optional<std::string> content;
    try {
        content = platform::readRecord(path_, kLargestRecord);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!content || !content->starts_with(kHeading)) {
        return std::nullopt;
    }
    std::string_view text(*content);
    text.remove_prefix(kHeading.size());
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    Recorded recorded;
    if (!readRecordNumber(text, device, ' ') || !readRecordNumber(text, inode, ' ') ||
        !readRecordNumber(text, size, '\n') || !readRecordNumber(text, recorded.delivered, '\n') ||
        !text.ends_with('\n') || device != workFile.device || inode != workFile.inode ||
        size != workFile.size) {
        return std::nullopt;
    }
    text.remove_suffix(1);
    // A name that would lead out of "failed" is not taken for the job's: the work file's serves.
    if (platform::isPlainFileName(text)) {
        recorded.jobName = std::string(text);
    }
    return recorded;
}

void JobProgress::delivered(std::uint64_t count) {
    delivered_ = count;
    write();
}

void JobProgress::end() {
    file_.reset();
    try {
        platform::removeRecord(path_);
    } catch (const std::exception&) {
        // A record left behind names a work file that is gone: the next job's is begun anew.
    }
}

void JobProgress::write() {
    std::string content(kHeading);
    content += std::to_string(workFile_.device) + ' ' + std::to_string(workFile_.inode) + ' ' +
               std::to_string(workFile_.size) + '\n';
    // Of one width, so that the record's length never changes within a job.
    const std::string count = std::to_string(delivered_);
    content += std::string(kCountWidth - std::min(count.size(), kCountWidth), '0') + count + '\n';
    content += jobName_ + '\n';
    file_->write(content);
}

} // namespace routing
