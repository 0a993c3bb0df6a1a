#include "tests/windows/WindowsTestSupport.h"

#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <thread>

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
