#pragma once

#include "platform/WatchedDirectory.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace platform {

// The watched-directory operations in use when it is made, failing where a test asks them to.
class FaultyWatchedDirectory final : public WatchedDirectory {
public:
    // When not empty, the directory refuses changes from its checkWritable call of that number
    // on (the first is 1), with this text: how a directory made read-only meanwhile looks.
    std::string writableFailure;
    int writableFrom = 1;
    // When not empty, every rename throws Failure with this text and changes nothing.
    std::string renameFailure;
    // When not empty, every move into "failed" throws Failure with this text.
    std::string moveFailure;
    // Paths whose examination throws Failure with the text given.
    std::map<std::string, std::string> unexaminable;
    // Paths whose use by other processes cannot be told, as for another user's file.
    std::set<std::string> undecidable;
    // How often each path's use was asked.
    std::map<std::string, int> useAsked;
    // Runs first in every rename: a test's way to change the directory before the hand-off.
    std::function<void()> beforeRename;

    void listJobNames(const std::string& directory, std::vector<std::string>& names) override;
    EntryKind kind(const std::string& path) override;
    void checkReadable(const std::string& path) override;
    void checkWritable(const std::string& directory) override;
    FileIdentity identity(const std::string& path) override;
    FileUse fileUse(const std::string& path) override;
    void renameFile(const std::string& source, const std::string& destination) override;
    std::string moveToFailed(const std::string& path, const std::string& name) override;
    std::uint64_t failedSize(const std::string& path) override;
    std::unique_ptr<FailedFile> createInFailed(const std::string& path,
                                               const std::string& name) override;

private:
    const std::unique_ptr<WatchedDirectory> real_ = makeSystemWatchedDirectory();
    int writableChecks_ = 0;
};

} // namespace platform
