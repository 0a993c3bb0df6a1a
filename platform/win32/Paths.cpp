#include "platform/Paths.h"

#include "platform/SystemPaths.h"
#include "platform/win32/FileAccess.h"
#include "platform/win32/SystemError.h"

#include <windows.h>

#include <shlobj.h>

#include <string_view>
#include <vector>

namespace platform {
namespace {

std::string executablePath() {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            win32::throwLastError();
        }
        if (length < buffer.size()) {
            return std::string(buffer.data(), length);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::size_t lastSeparator(std::string_view path) {
    return path.find_last_of("\\/");
}

// The devices that Windows finds under any name in any directory, with or without an
// extension; "\u00B9", "\u00B2" and "\u00B3" are the superscript digits that name ports too.
bool isDeviceName(std::wstring_view base) {
    const auto upper = [](std::wstring_view text) {
        std::wstring result(text);
        for (wchar_t& c : result) {
            c = c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
        }
        return result;
    };
    const std::wstring name = upper(base);
    if (name == L"CON" || name == L"PRN" || name == L"AUX" || name == L"NUL") {
        return true;
    }
    constexpr std::wstring_view kPortDigits = L"0123456789\u00B9\u00B2\u00B3";
    return name.size() == 4 && (name.starts_with(L"COM") || name.starts_with(L"LPT")) &&
           kPortDigits.find(name[3]) != std::wstring_view::npos;
}

} // namespace

std::string joinPath(std::string_view directory, std::string_view name) {
    std::string path(directory);
    path += '\\';
    path += name;
    return path;
}

bool directoryExists(const std::string& path) {
    const DWORD attributes = win32::attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string defaultMonitorDirectory(const Locations&) {
    return "C:\\Tarvo";
}

bool isReservedFileName(std::string_view name) {
    if (name.empty() || name.find_first_of("<>:\"|?*") != std::string_view::npos ||
        name.back() == '.' || name.back() == ' ') {
        return true;
    }
    // The device check needs the characters, not the bytes: a superscript digit is one byte
    // in some code pages and none in others.
    const int length =
        MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
    std::wstring_view base = std::wstring_view(wide).substr(0, wide.find(L'.'));
    while (!base.empty() && base.back() == L' ') {
        base.remove_suffix(1);
    }
    return isDeviceName(base);
}

Locations systemLocations() {
    const std::string executable = executablePath();
    const std::size_t separator = lastSeparator(executable);
    Locations locations;
    locations.applicationDirectory = executable.substr(0, separator);
    // The root of a drive keeps its separator; every other directory comes without one.
    if (locations.applicationDirectory.size() == 2 && locations.applicationDirectory[1] == ':') {
        locations.applicationDirectory += '\\';
    }
    locations.executableName = executable.substr(separator + 1);
    char home[MAX_PATH];
    if (SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, home) == S_OK) {
        locations.homeDirectory = home;
    }
    // Beside the executable, in a folder of the user's, however the program was installed.
    locations.settingsFile = joinPath(locations.applicationDirectory, "tarvo.ini");
    locations.logFile = joinPath(locations.applicationDirectory, "Tarvo.log");
    return locations;
}

namespace system {

// Names of files compare as the file system compares them: regardless of case.
bool sameFileName(std::string_view a, std::string_view b) {
    return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()),
                          b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool sameDirectory(const std::string& a, const std::string& b) {
    try {
        const BY_HANDLE_FILE_INFORMATION first = win32::informationOf(win32::openToLookAt(a).get());
        const BY_HANDLE_FILE_INFORMATION second =
            win32::informationOf(win32::openToLookAt(b).get());
        return (first.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
               first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
               first.nFileIndexHigh == second.nFileIndexHigh &&
               first.nFileIndexLow == second.nFileIndexLow;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace system

} // namespace platform
