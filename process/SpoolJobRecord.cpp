#include "process/SpoolJobRecord.h"

#include "platform/Paths.h"
#include "process/RecordText.h"

#include <algorithm>
#include <string_view>
#include <utility>

namespace routing {
namespace {

// The record's first line; then one line per job: the spool job's id, the time spooled, the
// section's ordinal, the output row, the type's name length, and the lengths of the printer, the
// job name and the held copy's name in "failed"; then a line of those four texts one after the
// other. Lengths, not separators, since a job's name may hold any character. Names, not paths:
// what the record names is found in "failed" beside it, and nowhere else.
constexpr std::string_view kHeading = "Tarvo spool jobs 1\n";
// Far more than the record of the jobs that any printer holds back.
constexpr std::size_t kLargestRecord = std::size_t{64} << 20;

bool readText(std::string_view& text, std::uint64_t length, std::string& into) {
    if (length > text.size()) {
        return false;
    }
    into.assign(text.substr(0, static_cast<std::size_t>(length)));
    text.remove_prefix(static_cast<std::size_t>(length));
    return true;
}

// One job from the front of text, its held copy in failedDirectory; false, text unchanged or not,
// when it is not whole, or names a file outside "failed".
bool readSection(std::string_view& text, const std::string& failedDirectory,
                 SpooledSection& section) {
    std::uint64_t id = 0;
    std::uint64_t spooledAt = 0;
    std::uint64_t output = 0;
    std::uint64_t lengths[4] = {};
    std::string typeName;
    if (!readRecordNumber(text, id, ' ') || !readRecordNumber(text, spooledAt, ' ') ||
        !readRecordNumber(text, section.ordinal, ' ') || !readRecordNumber(text, output, ' ') ||
        !readRecordNumber(text, lengths[0], ' ') || !readRecordNumber(text, lengths[1], ' ') ||
        !readRecordNumber(text, lengths[2], ' ') || !readRecordNumber(text, lengths[3], '\n') ||
        !readText(text, lengths[0], typeName) || !readText(text, lengths[1], section.printer) ||
        !readText(text, lengths[2], section.jobName) ||
        !readText(text, lengths[3], section.heldCopy) || !text.starts_with('\n')) {
        return false;
    }
    text.remove_prefix(1);
    section.type = outputtype::parse(typeName);
    if (id > UINT32_MAX || output < 1 || output > 9 || !outputtype::isPrinter(section.type) ||
        !platform::isPlainFileName(section.jobName)) {
        return false;
    }
    if (!section.heldCopy.empty()) {
        if (!section.heldCopy.starts_with('.') || !platform::isPlainFileName(section.heldCopy)) {
            return false;
        }
        section.heldCopy = platform::joinPath(failedDirectory, section.heldCopy);
    }
    section.spoolJob = static_cast<platform::SpoolJobId>(id);
    section.output = static_cast<int>(output);
    section.spooledAt = static_cast<std::time_t>(spooledAt);
    return true;
}

} // namespace

SpoolJobRecord::SpoolJobRecord(std::string path)
    : path_(std::move(path)),
      failedDirectory_(platform::joinPath(
          std::string_view(path_).substr(
              0, path_.size() - std::min(path_.size(), platform::fileNameOf(path_).size() + 1)),
          "failed")) {}

SpoolJobRecord::Read SpoolJobRecord::read() const {
    Read found;
    const std::optional<std::string> content = platform::readRecord(path_, kLargestRecord);
    if (!content) {
        return found;
    }
    std::string_view text(*content);
    if (!text.starts_with(kHeading)) {
        found.damaged = true;
        return found;
    }
    text.remove_prefix(kHeading.size());
    while (!text.empty()) {
        SpooledSection section;
        if (!readSection(text, failedDirectory_, section)) {
            found.damaged = true;
            break;
        }
        found.sections.push_back(std::move(section));
    }
    return found;
}

void SpoolJobRecord::write(const std::vector<SpooledSection>& sections) {
    if (sections.empty()) {
        file_.reset();
        platform::removeRecord(path_);
        return;
    }
    std::string content(kHeading);
    for (const SpooledSection& section : sections) {
        const std::string_view typeName = outputtype::name(section.type);
        const std::string_view heldName = platform::fileNameOf(section.heldCopy);
        content += std::to_string(section.spoolJob) + ' ' +
                   std::to_string(static_cast<std::uint64_t>(section.spooledAt)) + ' ' +
                   std::to_string(section.ordinal) + ' ' + std::to_string(section.output) + ' ' +
                   std::to_string(typeName.size()) + ' ' + std::to_string(section.printer.size()) +
                   ' ' + std::to_string(section.jobName.size()) + ' ' +
                   std::to_string(heldName.size()) + '\n';
        content += typeName;
        content += section.printer + section.jobName;
        content += heldName;
        content += '\n';
    }
    if (!file_) {
        file_.emplace(path_);
    }
    file_->write(content);
}

} // namespace routing
