// Windows reports names and writes, not opens and closes: the sharing check tells a file's use.
#include "platform/DirectoryChanges.h"

#include "platform/win32/FileAccess.h"
#include "platform/win32/Handle.h"

#include <windows.h>

#include <cstddef>
#include <utility>

namespace platform {
namespace {

using win32::Handle;

// Attributes and permissions too: a file passed over is looked at again once they change.
constexpr DWORD kReported = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                            FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_ATTRIBUTES |
                            FILE_NOTIFY_CHANGE_SECURITY;

bool isHidden(const FILE_NOTIFY_INFORMATION& record) {
    return record.FileNameLength > 0 && record.FileName[0] == L'.';
}

// A file came (made, or moved in from elsewhere), changed (the sharing check tells whether it is
// still open), or was given a job's name from a name that no job has, as writers do once it is
// complete; previousHidden tells the old name of a rename, and is true when it is not known. A
// name beginning with "." is never a job: the program's own files (its progress record, its
// writability probe) and a writer's file before its rename wake nothing, nor does a job given
// another name (a hand-off), which woke the monitor when it came.
bool mayMakeReady(const FILE_NOTIFY_INFORMATION& record, bool previousHidden) {
    switch (record.Action) {
    case FILE_ACTION_ADDED:
    case FILE_ACTION_MODIFIED:
        return !isHidden(record);
    case FILE_ACTION_RENAMED_NEW_NAME:
        return !isHidden(record) && previousHidden;
    default:
        return false;
    }
}

// A drive of another machine reports only the changes that it learns of, if any. A path whose
// drive cannot be told counts as one.
bool isNetworkDrive(const std::wstring& directory) {
    std::wstring root(directory.size() + 1, L'\0');
    return !GetVolumePathNameW(directory.c_str(), root.data(), static_cast<DWORD>(root.size())) ||
           GetDriveTypeW(root.c_str()) == DRIVE_REMOTE;
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
        bool previousHidden = true;
        for (std::size_t offset = 0; !ready && offset < bytes;) {
            const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + offset);
            ready = mayMakeReady(*record, previousHidden);
            previousHidden = record->Action != FILE_ACTION_RENAMED_OLD_NAME || isHidden(*record);
            if (record->NextEntryOffset == 0) {
                break;
            }
            offset += record->NextEntryOffset;
        }
        startRead();
        return ready;
    }

    OpenState openState(const std::string&) override { return OpenState::Unknown; }
    bool watching() const override { return reading_ && !remote_; }
    void distrust(const std::string&) override {}

private:
    // Opens the directory and starts the first read; true when it is watched from now on.
    bool watch() {
        if (!ready_) {
            return false;
        }
        const std::wstring path = win32::systemPath(directory_);
        directoryHandle_ = Handle(
            CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, win32::kShareAll, nullptr, OPEN_EXISTING,
                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr));
        remote_ = isNetworkDrive(path);
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
    // Whether the directory is on another machine's drive, whose changes cannot be trusted.
    bool remote_ = false;
    alignas(DWORD) std::byte buffer_[64 * 1024];
};

} // namespace

std::unique_ptr<DirectoryChanges> followChanges(const std::string& directory) {
    return std::make_unique<WindowsChanges>(directory);
}

} // namespace platform
