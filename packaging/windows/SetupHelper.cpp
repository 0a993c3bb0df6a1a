// tarvo-setup.exe: the two steps of Tarvo's installer that Windows Installer has no standard
// action for. The installer runs it from the installed folder, without a window:
//
//   tarvo-setup.exe close PROGRAM      asks the Tarvo started from PROGRAM (its tarvo.exe) to end,
//                                      as a log-off does, and waits until it has ended; Tarvo
//                                      finishes the job in hand first
//   tarvo-setup.exe settings FROM TO   copies the prepared settings file FROM to TO, unless TO
//                                      exists already
//
// Exit code 0 when done (also when no Tarvo of PROGRAM runs, or TO was kept); 1 when Tarvo did
// not end in time or the settings could not be copied, which fails the installation; 2 for a
// command line it does not take.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

constexpr DWORD kEndTimeoutMs = 60000;

// Whether the two paths name one existing file, however each is written (case, short names).
bool sameFile(const std::wstring& a, const std::wstring& b) {
    const auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE file =
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool known = GetFileInformationByHandle(file, &info) != 0;
        CloseHandle(file);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION first{};
    BY_HANDLE_FILE_INFORMATION second{};
    return identity(a, first) && identity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// One Tarvo runs per session; its hidden main window has the class TarvoMainWindow and ends the
// program on WM_CLOSE once the job in hand is routed. A Tarvo of another folder is left alone.
int closeTarvo(const std::wstring& program) {
    const HWND window = FindWindowW(L"TarvoMainWindow", nullptr);
    if (window == nullptr) {
        return 0;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return 0;
    }
    wchar_t image[MAX_PATH * 4];
    DWORD length = sizeof image / sizeof image[0];
    int result = 0;
    if (QueryFullProcessImageNameW(process, 0, image, &length) && sameFile(image, program)) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        result = WaitForSingleObject(process, kEndTimeoutMs) == WAIT_OBJECT_0 ? 0 : 1;
    }
    CloseHandle(process);
    return result;
}

int copySettings(const std::wstring& from, const std::wstring& to) {
    if (CopyFileW(from.c_str(), to.c_str(), TRUE)) {
        return 0;
    }
    return GetLastError() == ERROR_FILE_EXISTS ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) {
        return 2;
    }
    const std::wstring command = count > 1 ? arguments[1] : L"";
    int result = 2;
    if (command == L"close" && count == 3) {
        result = closeTarvo(arguments[2]);
    } else if (command == L"settings" && count == 4) {
        result = copySettings(arguments[2], arguments[3]);
    }
    LocalFree(arguments);
    return result;
}
