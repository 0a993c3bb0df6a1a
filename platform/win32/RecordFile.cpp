#include "platform/RecordFile.h"

#include "platform/Failure.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/SystemError.h"

#include <algorithm>
#include <cstdint>
#include <windows.h>

namespace platform {
namespace {

HANDLE handleOf(FileHandle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

RecordFile::RecordFile(const std::string& path)
    : handle_(reinterpret_cast<FileHandle>(
          win32::openFile(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          OPEN_ALWAYS, FILE_FLAG_OPEN_REPARSE_POINT)
              .release())) {
    try {
        win32::requirePlainFile(win32::informationOf(handleOf(handle_)));
    } catch (const std::exception&) {
        CloseHandle(handleOf(handle_));
        throw;
    }
}

RecordFile::~RecordFile() {
    CloseHandle(handleOf(handle_));
}

void RecordFile::write(std::string_view content) {
    const HANDLE file = handleOf(handle_);
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
        win32::throwLastError();
    }
    win32::writeAll(file, content.data(), content.size());
    if (content.size() < length_ && !SetEndOfFile(file)) {
        win32::throwLastError();
    }
    length_ = content.size();
}

std::optional<std::string> readRecord(const std::string& path, std::size_t maxBytes) {
    const HANDLE opened =
        CreateFileW(win32::systemPath(path).c_str(), GENERIC_READ, win32::kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return std::nullopt;
        }
        win32::throwError(error);
    }
    const win32::Handle file(opened);
    const BY_HANDLE_FILE_INFORMATION information = win32::informationOf(file.get());
    win32::requirePlainFile(information);
    // Room for what the file holds, not for the most that a record may hold.
    const std::uint64_t size =
        (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(size, maxBytes));
    std::string content(wanted, '\0');
    content.resize(
        win32::readFully(file.get(), reinterpret_cast<std::uint8_t*>(content.data()), wanted));
    return content;
}

void removeRecord(const std::string& path) {
    if (!DeleteFileW(win32::systemPath(path).c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            win32::throwError(error);
        }
    }
}

} // namespace platform
