// Windows reports names and writes, not opens and closes: the sharing check tells a file's use.
#include "platform/DirectoryChanges.h"

#include "platform/win32/Handle.h"

#include <windows.h>

#include <cstddef>
#include <utility>

namespace platform {
namespace {

using win32::Handle;

constexpr DWORD kReported =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE;

// A file came, was renamed in, or written (the sharing check tells whether it is still open).
bool mayMakeReady(DWORD action) {
    return action == FILE_ACTION_ADDED || action == FILE_ACTION_MODIFIED ||
           action == FILE_ACTION_RENAMED_NEW_NAME;
}

class WindowsChanges final : public DirectoryChanges {
public:
    explicit WindowsChanges(std::string directory)
        : directory_(std::move(directory)), ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        watch();
    }

    ~WindowsChanges() override { stopWatching(); }

    std::intptr_t readyHandle() const override {
        return ready_ ? reinterpret_cast<std::intptr_t>(ready_.get()) : -1;
    }

    bool readChanges() override {
        if (!directoryHandle_) {
            // What is there already is for the tick to find.
            return watch();
        }
        if (WaitForSingleObject(ready_.get(), 0) != WAIT_OBJECT_0) {
            return false;
        }
        DWORD bytes = 0;
        if (!GetOverlappedResult(directoryHandle_.get(), &overlapped_, &bytes, FALSE)) {
            // The directory went away, or can no longer be read: watched again once it can.
            reading_ = false;
            stopWatching();
            return true;
        }
        reading_ = false;
        // No record: more changes came than the buffer holds, and they are lost.
        bool ready = bytes == 0;
        for (std::size_t offset = 0; !ready && offset < bytes;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + offset);
            ready = mayMakeReady(record->Action);
            if (record->NextEntryOffset == 0) {
                break;
            }
            offset += record->NextEntryOffset;
        }
        startRead();
        return ready;
    }

    OpenState openState(const std::string&) override { return OpenState::Unknown; }
    bool watching() const override { return false; }
    void distrust(const std::string&) override {}

private:
    // Opens the directory and starts the first read; true when it is watched from now on.
    bool watch() {
        if (!ready_) {
            return false;
        }
        directoryHandle_ = Handle(
            CreateFileA(directory_.c_str(), FILE_LIST_DIRECTORY,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        return directoryHandle_ && startRead();
    }

    bool startRead() {
        ResetEvent(ready_.get());
        overlapped_ = {};
        overlapped_.hEvent = ready_.get();
        reading_ = ReadDirectoryChangesW(directoryHandle_.get(), buffer_, sizeof buffer_, FALSE,
                                         kReported, nullptr, &overlapped_, nullptr) != FALSE;
        if (!reading_) {
            directoryHandle_ = Handle();
        }
        return reading_;
    }

    // Ends a read under way before its buffer goes, and closes the directory.
    void stopWatching() {
        if (reading_) {
            CancelIoEx(directoryHandle_.get(), &overlapped_);
            DWORD bytes = 0;
            GetOverlappedResult(directoryHandle_.get(), &overlapped_, &bytes, TRUE);
            reading_ = false;
        }
        directoryHandle_ = Handle();
        if (ready_) {
            ResetEvent(ready_.get());
        }
    }

    const std::string directory_;
    Handle ready_;
    Handle directoryHandle_;
    OVERLAPPED overlapped_{};
    bool reading_ = false;
    alignas(DWORD) std::byte buffer_[64 * 1024];
};

} // namespace

std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) {
    return std::make_unique<WindowsChanges>(directory);
}

} // namespace platform
