#include "platform/WatchedDirectory.h"

#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/ListedNames.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace platform {
namespace {

using win32::Handle;

// A directory listing by the wide-character functions, which show every name as it is, with its
// short name; closed when it goes. Throws when the directory cannot be listed.
class Listing {
public:
    explicit Listing(const std::string& directory)
        : find_(FindFirstFileExW(win32::systemPath(joinPath(directory, "*")).c_str(),
                                 FindExInfoStandard, &entry_, FindExSearchNameMatch, nullptr, 0)) {
        if (find_ == INVALID_HANDLE_VALUE) {
            win32::throwLastError();
        }
    }
    ~Listing() { FindClose(find_); }
    Listing(const Listing&) = delete;
    Listing& operator=(const Listing&) = delete;

    // The next entry, nullptr at the end; a failed read throws.
    const WIN32_FIND_DATAW* next() {
        if (first_) {
            first_ = false;
            return &entry_;
        }
        if (!FindNextFileW(find_, &entry_)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) {
                return nullptr;
            }
            win32::throwLastError();
        }
        return &entry_;
    }

private:
    WIN32_FIND_DATAW entry_{};
    HANDLE find_;
    bool first_ = true;
};

std::string directoryOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? "." : path.substr(0, separator);
}

std::string nameOf(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

EntryKind kindOf(DWORD attributes) {
    if (win32::isPlainFile(attributes)) {
        return EntryKind::RegularFile;
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                   (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0
               ? EntryKind::Directory
               : EntryKind::Other;
}

// What a listed name that reaches no file stands for: the listing tells.
EntryKind kindOfUnreachable(const std::string& path) {
    try {
        Listing listing(directoryOf(path));
        const std::string name = nameOf(path);
        while (const WIN32_FIND_DATAW* entry = listing.next()) {
            if (win32::listedName(*entry) == name) {
                return kindOf(entry->dwFileAttributes);
            }
        }
    } catch (const std::exception&) {
    }
    return EntryKind::Missing;
}

// Opens the name itself for reading, never through a reparse point; throws unless a plain file.
Handle openPlainFile(const std::string& path, DWORD share) {
    win32::requireReachable(path);
    Handle file = win32::openFile(path, GENERIC_READ, share, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN);
    win32::requirePlainFile(win32::informationOf(file.get()));
    return file;
}

// MoveFileExW; false, with the last error set, when it fails.
bool moveFile(const std::string& source, const std::string& destination, DWORD flags) {
    return MoveFileExW(win32::systemPath(source).c_str(), win32::systemPath(destination).c_str(),
                       flags) != FALSE;
}

// The directory "failed" beside a file, held open without delete sharing, so that it cannot be
// swapped for a link while in use.
struct FailedDirectory {
    std::string path;
    Handle held;
};

// Made when missing if make is set; otherwise a missing one is held by no handle. Anything but a
// real directory (a reparse point in its place) is refused.
FailedDirectory openFailed(const std::string& file, bool make) {
    FailedDirectory failed{joinPath(directoryOf(file), "failed"), Handle()};
    const std::wstring path = win32::systemPath(failed.path);
    if (make && !CreateDirectoryW(path.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        win32::throwLastError();
    }
    failed.held = Handle(CreateFileW(
        path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!failed.held) {
        const DWORD error = GetLastError();
        if (!make && (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)) {
            return failed;
        }
        win32::throwError(error);
    }
    const DWORD attributes = win32::informationOf(failed.held.get()).dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        win32::throwError(ERROR_DIRECTORY);
    }
    return failed;
}

// Moves from into the directory failed as name, or the first free of name.1, name.2, ...;
// replaces nothing. Returns the new path.
std::string moveToFreeName(const std::string& from, const std::string& failed,
                           const std::string& name) {
    for (std::uint64_t n = 0;; ++n) {
        const std::string target = joinPath(failed, n == 0 ? name : name + "." + std::to_string(n));
        if (moveFile(from, target, 0)) {
            return target;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            win32::throwError(error);
        }
    }
}

// A file written under a name beginning with "." in "failed", renamed once it is whole.
class WindowsFailedFile final : public FailedFile {
public:
    WindowsFailedFile(const std::string& file, const std::string& name)
        : failed_(openFailed(file, true)), name_(name) {
        for (std::uint64_t n = 0;; ++n) {
            hidden_ = joinPath(failed_.path, "." + name_ + (n == 0 ? "" : "." + std::to_string(n)));
            file_ = Handle(CreateFileW(win32::systemPath(hidden_).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) {
                return;
            }
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                hidden_.clear();
                win32::throwError(error);
            }
        }
    }
    ~WindowsFailedFile() override {
        if (!hidden_.empty()) {
            file_ = Handle();
            DeleteFileW(win32::systemPath(hidden_).c_str());
        }
    }
    WindowsFailedFile(const WindowsFailedFile&) = delete;
    WindowsFailedFile& operator=(const WindowsFailedFile&) = delete;

    void write(const std::uint8_t* data, std::size_t count) override {
        win32::writeAll(file_.get(), data, count);
    }

    std::string keep() override {
        file_ = Handle();
        const std::string kept = moveToFreeName(hidden_, failed_.path, name_);
        hidden_.clear();
        return kept;
    }

private:
    const FailedDirectory failed_;
    const std::string name_;
    std::string hidden_;
    Handle file_;
};

class WindowsWatchedDirectory final : public WatchedDirectory {
public:
    // One name per listed file; files whose names spell alike to "?" stand under one name.
    void listJobNames(const std::string& directory, std::vector<std::string>& names) override {
        names.clear();
        {
            Listing listing(directory);
            while (const WIN32_FIND_DATAW* entry = listing.next()) {
                if (entry->cFileName[0] != L'.' && win32::isPlainFile(entry->dwFileAttributes)) {
                    names.push_back(win32::listedName(*entry));
                }
            }
        }
        std::sort(names.begin(), names.end());
        names.erase(std::unique(names.begin(), names.end()), names.end());
    }

    // A name that the system refuses to look at in a directory that it looks at (a path too long
    // for it, say) counts as something there, not a regular file; a directory that cannot be
    // looked at fails.
    EntryKind kind(const std::string& path) override {
        if (win32::isUnreachableName(nameOf(path))) {
            return kindOfUnreachable(path);
        }
        const DWORD attributes = win32::attributesOf(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
                return EntryKind::Missing;
            }
            if (win32::attributesOf(directoryOf(path)) != INVALID_FILE_ATTRIBUTES) {
                return EntryKind::Other;
            }
            win32::throwError(error);
        }
        return kindOf(attributes);
    }

    void checkReadable(const std::string& path) override { openPlainFile(path, win32::kShareAll); }

    // Only trying tells: a file named like no job (leading ".") is made, deleted on close. The
    // directory's changes pass over such names (DirectoryChanges.cpp), so it wakes nothing.
    void checkWritable(const std::string& directory) override {
        win32::openFile(
            joinPath(directory, ".tarvo-writable-" + std::to_string(GetCurrentProcessId())),
            GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE);
    }

    FileIdentity identity(const std::string& path) override {
        win32::requireReachable(path);
        const Handle file = win32::openToLookAt(path);
        const BY_HANDLE_FILE_INFORMATION information = win32::informationOf(file.get());
        FILE_BASIC_INFO basic{};
        if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
            win32::throwLastError();
        }
        const auto join = [](DWORD high, DWORD low) {
            return (static_cast<std::uint64_t>(high) << 32) | low;
        };
        // The last-write time counts 100 ns from 1601; the identity counts ns from 1970.
        constexpr std::int64_t kTicksTo1970 = 116444736000000000LL;
        const auto written = static_cast<std::int64_t>(join(
            information.ftLastWriteTime.dwHighDateTime, information.ftLastWriteTime.dwLowDateTime));
        return {information.dwVolumeSerialNumber,
                join(information.nFileIndexHigh, information.nFileIndexLow),
                join(information.nFileSizeHigh, information.nFileSizeLow),
                (written - kTicksTo1970) * 100, (basic.ChangeTime.QuadPart - kTicksTo1970) * 100};
    }

    // Sharing nothing, the open fails while any other handle is open, whatever that one shares.
    FileUse fileUse(const std::string& path) override {
        win32::requireReachable(path);
        const HANDLE file =
            CreateFileW(win32::systemPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
                return FileUse::HeldOpen;
            }
            win32::throwError(error);
        }
        const Handle held(file);
        // Put in the file's place since the listing: never taken.
        return win32::isPlainFile(win32::informationOf(file).dwFileAttributes) ? FileUse::Free
                                                                               : FileUse::HeldOpen;
    }

    // Without MOVEFILE_REPLACE_EXISTING the move fails where the destination's name is taken.
    void renameFile(const std::string& source, const std::string& destination) override {
        win32::requireReachable(source);
        if (!moveFile(source, destination, MOVEFILE_WRITE_THROUGH)) {
            win32::throwLastError();
        }
    }

    std::string moveToFailed(const std::string& path, const std::string& keptName) override {
        win32::requireReachable(path);
        const FailedDirectory failed = openFailed(path, true);
        return moveToFreeName(path, failed.path, keptName.empty() ? nameOf(path) : keptName);
    }

    std::uint64_t failedSize(const std::string& path) override {
        const FailedDirectory failed = openFailed(path, false);
        if (!failed.held) {
            return 0;
        }
        std::uint64_t size = 0;
        Listing listing(failed.path);
        while (const WIN32_FIND_DATAW* entry = listing.next()) {
            if (win32::isPlainFile(entry->dwFileAttributes)) {
                size +=
                    (static_cast<std::uint64_t>(entry->nFileSizeHigh) << 32) | entry->nFileSizeLow;
            }
        }
        return size;
    }

    std::unique_ptr<FailedFile> createInFailed(const std::string& path,
                                               const std::string& name) override {
        return std::make_unique<WindowsFailedFile>(path, name);
    }
};

} // namespace

std::unique_ptr<WatchedDirectory> makeSystemWatchedDirectory() {
    return std::make_unique<WindowsWatchedDirectory>();
}

} // namespace platform
