#pragma once

#include "platform/WatchedDirectory.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace platform {

// The watched-directory operations in use when it is made, failing where a test asks them to.
class FaultyWatchedDirectory final : public WatchedDirectory {
public:
    // When not empty, every copy throws Failure with this text and changes nothing.
    std::string copyFailure;
    // Paths whose deletion throws Failure with deleteFailure, every time, leaving them in place.
    std::set<std::string> undeletable;
    std::string deleteFailure = "Permission denied";
    // When not empty, every move into "failed" throws Failure with this text.
    std::string moveFailure;
    // Paths whose examination throws Failure with the text given.
    std::map<std::string, std::string> unexaminable;
    // Runs at the start of every copy, before anything else (a test's way to change the
    // directory between the examination and the hand-off).
    std::function<void()> beforeCopy;
    // Every call, in order: "copy <source> <destination>", "delete <path>".
    std::vector<std::string> calls;

    void visitJobNames(const std::string& directory,
                       const std::function<bool(const std::string&)>& visit) override;
    EntryKind kind(const std::string& path) override;
    void checkReadable(const std::string& path) override;
    void checkWritable(const std::string& directory) override;
    FileIdentity identity(const std::string& path) override;
    bool isHeldOpen(const std::string& path) override;
    void copyFile(const std::string& source, const std::string& destination) override;
    void deleteFile(const std::string& path) override;
    void removeOtherNames(const std::string& path) override;
    std::string moveToFailed(const std::string& path) override;

private:
    WatchedDirectory& real_ = watchedDirectory();
};

} // namespace platform
