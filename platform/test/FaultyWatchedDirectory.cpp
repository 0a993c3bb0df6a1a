#include "platform/test/FaultyWatchedDirectory.h"

#include "platform/Failure.h"

namespace platform {

void FaultyWatchedDirectory::listJobNames(const std::string& directory,
                                          std::vector<std::string>& names) {
    real_->listJobNames(directory, names);
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

FileUse FaultyWatchedDirectory::fileUse(const std::string& path) {
    ++useAsked[path];
    if (const auto failure = unexaminable.find(path); failure != unexaminable.end()) {
        throw Failure(failure->second);
    }
    if (undecidable.count(path) != 0) {
        real_->checkReadable(path);
        return FileUse::Unknown;
    }
    return real_->fileUse(path);
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

std::string FaultyWatchedDirectory::moveToFailed(const std::string& path, const std::string& name) {
    if (!moveFailure.empty()) {
        throw Failure(moveFailure);
    }
    return real_->moveToFailed(path, name);
}

std::uint64_t FaultyWatchedDirectory::failedSize(const std::string& path) {
    return real_->failedSize(path);
}

std::unique_ptr<FailedFile> FaultyWatchedDirectory::createInFailed(const std::string& path,
                                                                   const std::string& name) {
    return real_->createInFailed(path, name);
}

} // namespace platform
