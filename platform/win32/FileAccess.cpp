#include "platform/win32/FileAccess.h"

#include "platform/win32/SystemError.h"

#include <algorithm>

namespace platform::win32 {
namespace {

// ReadFile and WriteFile take counts of 32 bits.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

} // namespace

Handle openFile(const std::string& path, DWORD access, DWORD share, DWORD disposition,
                DWORD flags) {
    Handle file(CreateFileA(path.c_str(), access, share, nullptr, disposition,
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

} // namespace platform::win32
