#include "platform/test/FaultyWatchedDirectory.h"

#include "platform/Failure.h"

namespace platform {

void FaultyWatchedDirectory::visitJobNames(const std::string& directory,
                                           const std::function<bool(const std::string&)>& visit) {
    real_->visitJobNames(directory, visit);
}

EntryKind FaultyWatchedDirectory::kind(const std::string& path) {
    return real_->kind(path);
}

void FaultyWatchedDirectory::checkReadable(const std::string& path) {
    real_->checkReadable(path);
}

void FaultyWatchedDirectory::checkWritable(const std::string& directory) {
    if (!writableFailure.empty() && ++writableChecks_ >= writableFrom) {
        throw Failure(writableFailure);
    }
    real_->checkWritable(directory);
}

FileIdentity FaultyWatchedDirectory::identity(const std::string& path) {
    return real_->identity(path);
}

bool FaultyWatchedDirectory::isHeldOpen(const std::string& path) {
    if (const auto failure = unexaminable.find(path); failure != unexaminable.end()) {
        throw Failure(failure->second);
    }
    return real_->isHeldOpen(path);
}

void FaultyWatchedDirectory::renameFile(const std::string& source, const std::string& destination) {
    if (beforeRename) {
        beforeRename();
    }
    if (!renameFailure.empty()) {
        throw Failure(renameFailure);
    }
    real_->renameFile(source, destination);
}

std::string FaultyWatchedDirectory::moveToFailed(const std::string& path) {
    if (!moveFailure.empty()) {
        throw Failure(moveFailure);
    }
    return real_->moveToFailed(path);
}

} // namespace platform
