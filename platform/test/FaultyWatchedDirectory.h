#pragma once

#include "platform/WatchedDirectory.h"

#include <functional>
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
    // Runs at the start of every copy, before anything else (a test's way to change the
    // directory between the examination and the hand-off).
    std::function<void()> beforeCopy;
    // Every call, in order: "copy <source> <destination>", "delete <path>".
    std::vector<std::string> calls;

    std::string firstFileName(const std::string& directory) override;
    bool isFile(const std::string& path) override;
    bool isHeldOpen(const std::string& path) override;
    void copyFile(const std::string& source, const std::string& destination) override;
    void deleteFile(const std::string& path) override;
    void removeOtherNames(const std::string& path) override;

private:
    WatchedDirectory& real_ = watchedDirectory();
};

} // namespace platform
