// Through the system's profile functions, so that Windows users keep the rules they know. A save
// writes its keys into a copy beside the file, which then replaces it in one step.
#include "platform/ProfileFile.h"

#include "platform/ProfileText.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace platform {
namespace {

bool isMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Always the same, so a save stopped half way leaves one spare file, which the next replaces.
std::string temporaryName(const std::string& path) {
    return path + ".tmp";
}

// Replacing the file needs only the directory, so a read-only file, or one another program holds
// against writing, is refused before anything is made.
void refuseUnwritable(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        win32::throwError(ERROR_ACCESS_DENIED);
    }
    win32::openFile(path, GENERIC_WRITE, win32::kShareAll, OPEN_EXISTING);
}

void flushToDisk(const std::string& path) {
    const win32::Handle file =
        win32::openFile(path, GENERIC_WRITE, win32::kShareAll, OPEN_EXISTING);
    if (!FlushFileBuffers(file.get())) {
        win32::throwLastError();
    }
}

} // namespace

std::size_t readProfileValue(std::string_view section, std::string_view key,
                             std::string_view defaultValue, char* buffer, std::size_t size,
                             const std::string& path) {
    probeProfileFile(path);
    if (size == 0) {
        return 0;
    }
    const std::string sectionText(section);
    const std::string keyText(key);
    const std::string defaultText(defaultValue);
    const auto bufferSize =
        static_cast<DWORD>(std::min<std::size_t>(size, std::numeric_limits<DWORD>::max()));
    return GetPrivateProfileStringA(sectionText.c_str(), keyText.c_str(), defaultText.c_str(),
                                    buffer, bufferSize, path.c_str());
}

// The keys of one save, in the order they were set.
struct ProfileWrite::State {
    struct Key {
        std::string section;
        std::string key;
        std::string value;
    };
    std::string path;
    std::vector<Key> keys;
};

ProfileWrite::ProfileWrite(std::string path) : state_(std::make_unique<State>()) {
    state_->path = std::move(path);
}

ProfileWrite::~ProfileWrite() = default;

bool ProfileWrite::set(std::string_view section, std::string_view key, std::string_view value) {
    State& s = *state_;
    if (!profile::fitsTheFile(section, key, value)) {
        return false;
    }
    if (s.keys.empty()) {
        probeProfileFile(s.path);
    }
    s.keys.push_back({std::string(section), std::string(key), std::string(value)});
    return true;
}

void ProfileWrite::commit() {
    const State& s = *state_;
    if (s.keys.empty()) {
        return;
    }
    refuseUnwritable(s.path);
    const std::string temporary = temporaryName(s.path);
    try {
        // The copy starts as the file is (its attributes included), or as nothing.
        DeleteFileA(temporary.c_str());
        if (!CopyFileA(s.path.c_str(), temporary.c_str(), FALSE) && !isMissing(GetLastError())) {
            win32::throwLastError();
        }
        for (const State::Key& k : s.keys) {
            if (!WritePrivateProfileStringA(k.section.c_str(), k.key.c_str(), k.value.c_str(),
                                            temporary.c_str())) {
                win32::throwLastError();
            }
        }
        flushToDisk(temporary);
        if (!MoveFileExA(temporary.c_str(), s.path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            win32::throwLastError();
        }
    } catch (const std::exception&) {
        DeleteFileA(temporary.c_str());
        throw;
    }
}

void probeProfileFile(const std::string& path) {
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, win32::kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (!isMissing(error)) {
            win32::throwError(error);
        }
        return;
    }
    CloseHandle(file);
}

} // namespace platform
