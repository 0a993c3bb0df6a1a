#include "platform/test/FaultyWatchedDirectory.h"

#include "platform/Failure.h"

namespace platform {

std::string FaultyWatchedDirectory::firstFileName(const std::string& directory) {
    return real_.firstFileName(directory);
}

bool FaultyWatchedDirectory::isFile(const std::string& path) {
    return real_.isFile(path);
}

bool FaultyWatchedDirectory::isHeldOpen(const std::string& path) {
    return real_.isHeldOpen(path);
}

void FaultyWatchedDirectory::copyFile(const std::string& source, const std::string& destination) {
    if (beforeCopy) {
        beforeCopy();
    }
    calls.push_back("copy " + source + " " + destination);
    if (!copyFailure.empty()) {
        throw Failure(copyFailure);
    }
    real_.copyFile(source, destination);
}

void FaultyWatchedDirectory::deleteFile(const std::string& path) {
    calls.push_back("delete " + path);
    if (undeletable.count(path) != 0) {
        throw Failure(deleteFailure);
    }
    real_.deleteFile(path);
}

void FaultyWatchedDirectory::removeOtherNames(const std::string& path) {
    real_.removeOtherNames(path);
}

} // namespace platform
