#include "tests/windows/WindowsTestSupport.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <utility>

namespace wintest {

std::string fromUnixPath(const std::string& path) {
    std::string windows = "Z:" + path;
    for (char& c : windows) {
        c = c == '/' ? '\\' : c;
    }
    return windows;
}

std::string windowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::wstring wide(const std::string& text) {
    const int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

std::wstring extendedPath(const std::string& path) {
    wchar_t full[32768];
    const DWORD length = GetFullPathNameW(wide(path).c_str(), 32768, full, nullptr);
    return L"\\\\?\\" + std::wstring(full, length);
}

WideFile::WideFile(const std::string& directory, const std::wstring& name, const std::string& bytes)
    : path_(extendedPath(directory) + L"\\" + name) {
    const HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot make a file in " + directory);
    }
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

WideFile::~WideFile() {
    if (!path_.empty()) {
        DeleteFileW(path_.c_str());
    }
}

WideFile::WideFile(WideFile&& other) noexcept : path_(std::exchange(other.path_, {})) {}

std::string longFolder(const std::string& parent, std::size_t length) {
    std::string path = windowsPath(parent);
    while (path.size() < length) {
        const std::size_t left = length - path.size() - 1;
        // A last piece too short for a name of its own is put into the one before.
        const std::size_t piece = left > 200 ? std::min<std::size_t>(left - 2, 200) : left;
        path += "\\" + std::string(piece, static_cast<char>('a' + path.size() % 26));
        if (!CreateDirectoryW(extendedPath(path).c_str(), nullptr)) {
            throw std::runtime_error("cannot make " + path);
        }
    }
    return path;
}

std::string installTarvo(const std::string& executable, const std::string& folder) {
    const std::string copy = folder + "\\tarvo.exe";
    if (!CopyFileA(fromUnixPath(executable).c_str(), copy.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy " + executable);
    }
    return copy;
}

HWND tarvoTrayWindow() {
    return FindWindowA("TarvoMainWindow", nullptr);
}

HWND dialogOf(DWORD processId, const char* caption) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", caption); window != nullptr;
         window = FindWindowExA(nullptr, window, "#32770", caption)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) {
            return window;
        }
    }
    return nullptr;
}

std::string testProgram(const std::string& name) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string self(path, length);
    return self.substr(0, self.find_last_of('\\') + 1) + name;
}

Process::Process(const std::string& program, const std::vector<std::string>& arguments,
                 std::vector<HANDLE> inherited, HANDLE standardError, HANDLE standardOutput) {
    std::string commandLine = "\"" + program + "\"";
    for (const std::string& argument : arguments) {
        commandLine += " \"" + argument + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = standardError;
    startup.hStdOutput = standardOutput;
    for (HANDLE standard : {standardError, standardOutput}) {
        if (standard != nullptr) {
            inherited.push_back(standard);
        }
    }
    for (HANDLE handle : inherited) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION started{};
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, !inherited.empty(),
                        0, nullptr, nullptr, &startup, &started)) {
        throw std::runtime_error("cannot start " + program);
    }
    CloseHandle(started.hThread);
    process_ = started.hProcess;
    id_ = started.dwProcessId;
}

Process::~Process() {
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

int Process::wait(std::chrono::milliseconds timeout) {
    if (WaitForSingleObject(process_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    return static_cast<int>(code);
}

namespace {

std::string handleText(HANDLE handle) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

} // namespace

HeldFile::HeldFile(const std::string& path, const std::string& mode)
    : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      holder_(testProgram("tarvo_test_helper.exe"),
              {"hold", path, mode, handleText(ready_), handleText(release_)}, {ready_, release_}) {
    if (WaitForSingleObject(ready_, 20000) != WAIT_OBJECT_0) {
        throw std::runtime_error("the file is not held: " + path);
    }
}

HeldFile::~HeldFile() {
    SetEvent(release_);
    holder_.wait(std::chrono::seconds(20));
    CloseHandle(ready_);
    CloseHandle(release_);
}

bool HeldFile::release() {
    SetEvent(release_);
    return holder_.wait(std::chrono::seconds(20)) == 0;
}

PipeServer::PipeServer(const std::string& name)
    : path_("\\\\.\\pipe\\" + name),
      pipe_(CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr)),
      stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (pipe_ == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot make the pipe " + path_);
    }
}

PipeServer::~PipeServer() {
    SetEvent(stop_);
    if (reader_.joinable()) {
        reader_.join();
    }
    // A writer that waits on the pipe fails.
    DisconnectNamedPipe(pipe_);
    CloseHandle(pipe_);
    CloseHandle(stop_);
}

// Each step waits for the pipe or for the stop, whichever comes first.
void PipeServer::startReading() {
    reader_ = std::thread([this] {
        const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        OVERLAPPED overlapped{};
        // The bytes that the step under way moved; -1 when it failed or the stop came first.
        const auto finish = [&](BOOL started) -> long {
            if (!started && GetLastError() != ERROR_IO_PENDING) {
                return GetLastError() == ERROR_PIPE_CONNECTED ? 0 : -1;
            }
            const HANDLE waits[] = {event, stop_};
            DWORD got = 0;
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(pipe_, &overlapped);
                GetOverlappedResult(pipe_, &overlapped, &got, TRUE);
                return -1;
            }
            return GetOverlappedResult(pipe_, &overlapped, &got, FALSE) ? static_cast<long>(got)
                                                                        : -1;
        };
        overlapped.hEvent = event;
        long got = finish(ConnectNamedPipe(pipe_, &overlapped));
        char buffer[4096];
        while (got >= 0) {
            overlapped = {};
            overlapped.hEvent = event;
            ResetEvent(event);
            got = finish(ReadFile(pipe_, buffer, sizeof buffer, nullptr, &overlapped));
            if (got > 0) {
                received_.append(buffer, static_cast<std::size_t>(got));
            }
        }
        CloseHandle(event);
        done_ = true;
    });
}

std::size_t PipeServer::waiting() const {
    DWORD available = 0;
    return PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr) ? available : 0;
}

// A writer that has not closed the pipe in time is cut off.
std::string PipeServer::received() {
    if (!waitUntil([this] { return done_.load(); })) {
        SetEvent(stop_);
    }
    if (reader_.joinable()) {
        reader_.join();
    }
    return received_;
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

namespace {

std::vector<CapturedJob> capturedJobs(const std::string& queue) {
    const char* capture = std::getenv("TARVO_CUPS_CAPTURE");
    if (capture == nullptr) {
        return {};
    }
    const std::string folder = fromUnixPath(std::string(capture) + "/" + queue) + "\\";
    std::vector<std::string> jobs;
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA((folder + "*.data").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            jobs.emplace_back(entry.cFileName);
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    std::sort(jobs.begin(), jobs.end());
    std::vector<CapturedJob> captured;
    for (const std::string& data : jobs) {
        const std::string stem = folder + data.substr(0, data.size() - 5);
        captured.push_back(
            {testsupport::readFile(stem + ".title"), testsupport::readFile(stem + ".data")});
    }
    return captured;
}

} // namespace

std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count) {
    waitUntil([&] { return capturedJobs(queue).size() >= count; });
    return capturedJobs(queue);
}

} // namespace wintest
