#include "platform/win32/FileAccess.h"

#include "platform/Failure.h"
#include "platform/Signals.h"
#include "platform/win32/SystemError.h"

#include <algorithm>
#include <string_view>

namespace platform::win32 {
namespace {

// ReadFile and WriteFile take counts of 32 bits.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;
// A device or a pipe is given this much at a time, so that a slow one shows its progress.
constexpr std::size_t kDeviceTransfer = 4096;
// How often a write that waits looks for a stop request.
constexpr DWORD kStopLookMs = 100;
// The longest path that every function takes as it is: CreateDirectoryW leaves 12 characters
// of MAX_PATH for an 8.3 name inside the directory.
constexpr std::size_t kShortPathLimit = MAX_PATH - 12;

constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";

// Ends a write under way and waits until the system has let go of its buffer.
void cancelWrite(HANDLE file, OVERLAPPED& overlapped) {
    CancelIoEx(file, &overlapped);
    DWORD ignored = 0;
    GetOverlappedResult(file, &overlapped, &ignored, TRUE);
}

// The text, in the ANSI code page, in UTF-16.
std::wstring wideText(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    return wide;
}

} // namespace

// A path the system cannot make absolute is given as it is, for the call to fail on.
std::wstring systemPath(const std::string& path) {
    std::wstring wide = wideText(path);
    if (wide.size() < kShortPathLimit || wide.starts_with(kExtendedPrefix) ||
        wide.starts_with(kDevicePrefix)) {
        return wide;
    }
    std::wstring full(wide.size() + MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return wide;
        }
        if (length < full.size()) {
            full.resize(length);
            break;
        }
        full.resize(length);
    }
    // A share's path, \\server\share\..., becomes \\?\UNC\server\share\...
    if (full.starts_with(L"\\\\")) {
        return std::wstring(kExtendedPrefix) + L"UNC" + full.substr(1);
    }
    return std::wstring(kExtendedPrefix) + full;
}

Handle openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags) {
    Handle file(CreateFileW(systemPath(path).c_str(), access, share, nullptr, disposition,
                            flags | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throwLastError();
    }
    return file;
}

Handle openToLookAt(const std::string& path) {
    return openFile(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS);
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        throwLastError();
    }
    return information;
}

DWORD attributesOf(const std::string& path) {
    return GetFileAttributesW(systemPath(path).c_str());
}

bool isPlainFile(DWORD attributes) {
    return (attributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

void requirePlainFile(const BY_HANDLE_FILE_INFORMATION& information) {
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throwError(ERROR_ACCESS_DENIED);
    }
    if (!isPlainFile(information.dwFileAttributes)) {
        throwError(ERROR_CANT_ACCESS_FILE);
    }
}

std::size_t readFully(HANDLE file, std::uint8_t* destination, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const auto wanted = static_cast<DWORD>(std::min(count - done, kLargestTransfer));
        DWORD got = 0;
        if (!ReadFile(file, destination + done, wanted, &got, nullptr)) {
            throwLastError();
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return done;
}

void writeAll(HANDLE file, const void* data, std::size_t count) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    while (count > 0) {
        const auto wanted = static_cast<DWORD>(std::min(count, kLargestTransfer));
        DWORD written = 0;
        if (!WriteFile(file, bytes, wanted, &written, nullptr)) {
            throwLastError();
        }
        if (written == 0) {
            throwError(ERROR_WRITE_FAULT);
        }
        bytes += written;
        count -= written;
    }
}

void writeOverlapped(HANDLE file, const void* data, std::size_t count,
                     const std::string& slowTarget, std::chrono::seconds stallLimit) {
    using Clock = std::chrono::steady_clock;
    const Handle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) {
        throwLastError();
    }
    const bool waits = !slowTarget.empty();
    LARGE_INTEGER position{};
    if (!waits && !SetFilePointerEx(file, LARGE_INTEGER{}, &position, FILE_CURRENT)) {
        throwLastError();
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Clock::time_point lastProgress = Clock::now();
    while (count > 0) {
        OVERLAPPED overlapped{};
        overlapped.Offset = static_cast<DWORD>(position.QuadPart);
        overlapped.OffsetHigh = static_cast<DWORD>(position.QuadPart >> 32);
        overlapped.hEvent = done.get();
        const std::size_t piece = std::min(count, waits ? kDeviceTransfer : kLargestTransfer);
        if (!WriteFile(file, bytes, static_cast<DWORD>(piece), nullptr, &overlapped) &&
            GetLastError() != ERROR_IO_PENDING) {
            throwLastError();
        }
        while (waits && WaitForSingleObject(done.get(), kStopLookMs) == WAIT_TIMEOUT) {
            if (stopRequested()) {
                cancelWrite(file, overlapped);
                throw Interrupted();
            }
            if (Clock::now() - lastProgress >= stallLimit) {
                cancelWrite(file, overlapped);
                throw Failure(std::string(description::kNoProgressWritingFor) +
                              std::to_string(stallLimit.count()) + description::kSeconds + ": " +
                              slowTarget);
            }
        }
        DWORD written = 0;
        if (!GetOverlappedResult(file, &overlapped, &written, TRUE)) {
            throwLastError();
        }
        if (written == 0) {
            throwError(ERROR_WRITE_FAULT);
        }
        lastProgress = Clock::now();
        bytes += written;
        count -= written;
        position.QuadPart += written;
    }
    if (!waits && !SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        throwLastError();
    }
}

} // namespace platform::win32
