#include "platform/Files.h"

#include "platform/Failure.h"
#include "platform/Paths.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <utility>

namespace platform {
namespace {

using win32::Handle;

HANDLE handleOf(FileHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

FileHandle fileHandle(Handle handle) {
    return reinterpret_cast<FileHandle>(handle.release());
}

// For reading and removal, never through a reparse point; others may read and delete, not write.
Handle openJobFile(const std::string& path) {
    Handle file =
        win32::openFile(path, GENERIC_READ | DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN);
    win32::requirePlainFile(win32::informationOf(file.get()));
    return file;
}

// Opens or creates without emptying (see WriteFile); others may read it meanwhile. Every write
// is overlapped, so that one to a device can wait for a stop request.
Handle openForWriting(const std::string& path, DWORD flags) {
    return win32::openFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS,
                           flags | FILE_FLAG_OVERLAPPED);
}

// A sharing violation, or a lock on the range written: another program holds the file a moment.
bool isPassing(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Appends once; the system's error code, 0 when the bytes are in.
DWORD tryAppend(const std::string& path, std::string_view bytes) {
    const Handle file(CreateFileW(win32::systemPath(path).c_str(), FILE_APPEND_DATA,
                                  win32::kShareAll, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return GetLastError();
    }
    if (!win32::isPlainFile(win32::informationOf(file.get()).dwFileAttributes)) {
        throw Failure(description::kNotARegularFile);
    }
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
        return GetLastError();
    }
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

} // namespace

JobFile::JobFile(const std::string& path) : path_(path), handle_(fileHandle(openJobFile(path))) {}

JobFile::~JobFile() {
    CloseHandle(handleOf(handle_));
}

// A lock of the whole file, which the other process's reads run into as well.
bool JobFile::lock() {
    OVERLAPPED whole{};
    if (LockFileEx(handleOf(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                   MAXDWORD, MAXDWORD, &whole)) {
        return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
        win32::throwError(error);
    }
    return false;
}

// The file opened is marked for deletion, whatever has taken its name since: its name goes
// once this handle closes, and no other process can open it meanwhile.
void JobFile::remove() {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (!SetFileInformationByHandle(handleOf(handle_), FileDispositionInfo, &disposition,
                                    sizeof disposition)) {
        win32::throwLastError();
    }
}

std::uint64_t JobFile::length() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handleOf(handle_), &size)) {
        win32::throwLastError();
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t JobFile::read(std::uint8_t* destination, std::size_t count) {
    return win32::readFully(handleOf(handle_), destination, count);
}

// A read at an offset moves the file's position on Windows, so the position is put back.
std::size_t JobFile::readAt(std::uint64_t offset, std::uint8_t* destination, std::size_t count) {
    const HANDLE file = handleOf(handle_);
    LARGE_INTEGER position{};
    LARGE_INTEGER target{};
    target.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT) ||
        !SetFilePointerEx(file, target, nullptr, FILE_BEGIN)) {
        win32::throwLastError();
    }
    const std::size_t got = win32::readFully(file, destination, count);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        win32::throwLastError();
    }
    return got;
}

// A device's writes may wait: each one that makes no progress for stallLimit fails.
WriteFile::WriteFile(const std::string& path, std::chrono::seconds stallLimit)
    : handle_(fileHandle(openForWriting(path, 0))), stallLimit_(stallLimit) {
    if (GetFileType(handleOf(handle_)) != FILE_TYPE_DISK) {
        slowTarget_ = path;
    }
}

// The name's own file: a reparse point in its place is opened itself, and refused.
WriteFile::WriteFile(const std::string& directory, const std::string& name) : handle_(kNoFile) {
    Handle file = openForWriting(joinPath(directory, name), FILE_FLAG_OPEN_REPARSE_POINT);
    const DWORD attributes = win32::informationOf(file.get()).dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        win32::throwError(ERROR_CANT_ACCESS_FILE);
    }
    handle_ = fileHandle(std::move(file));
}

WriteFile::~WriteFile() {
    if (handle_ != kNoFile) {
        CloseHandle(handleOf(handle_));
    }
}

// A device (a port, a printer share) has nothing to empty.
void WriteFile::write(const std::uint8_t* data, std::size_t count) {
    const HANDLE file = handleOf(handle_);
    if (!emptied_) {
        if (slowTarget_.empty() && (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN) ||
                                    !SetEndOfFile(file))) {
            win32::throwLastError();
        }
        emptied_ = true;
    }
    win32::writeOverlapped(file, data, count, slowTarget_, stallLimit_);
}

void WriteFile::close() {
    const HANDLE file = handleOf(std::exchange(handle_, kNoFile));
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) {
        win32::throwLastError();
    }
}

// Another program that holds the log for a moment (a viewer, a backup) throws FileBusy, which
// the caller may wait out; anything but a plain file in the log's place is refused.
void appendToFile(const std::string& path, std::string_view bytes) {
    const DWORD error = tryAppend(path, bytes);
    if (error == 0) {
        return;
    }
    if (isPassing(error)) {
        throw FileBusy(win32::systemText(error));
    }
    win32::throwError(error);
}

void reportUnloggedLine(const std::string& text) {
    const std::string line = "Tarvo: " + text + "\n";
    std::fputs(line.c_str(), stderr);
    OutputDebugStringA(line.c_str());
}

// A malformed name, a drive that is not ready or an unreachable network path fails.
void probeDirectory(const std::string& path) {
    if (path.empty()) {
        throw Failure(description::kBadFileName);
    }
    if (win32::attributesOf(path) != INVALID_FILE_ATTRIBUTES) {
        return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        win32::throwError(error);
    }
}

} // namespace platform
