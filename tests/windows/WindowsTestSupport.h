#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// What the Windows tests share.
namespace wintest {

// The Windows form of a path of the machine that runs wine: its root is drive Z:.
std::string fromUnixPath(const std::string& path);

// The path with every "/" turned into "\\".
std::string windowsPath(std::string path);

// A copy of the real tarvo.exe (built at the Unix path executable) in the folder; its path.
std::string installTarvo(const std::string& executable, const std::string& folder);

// The hidden tray window of the running Tarvo; nullptr while there is none.
HWND tarvoTrayWindow();

// The dialog window with that caption that the process owns; nullptr when it has none. Tests
// that run meanwhile may show windows of the same caption.
HWND dialogOf(DWORD processId, const char* caption);

// The path of a program of the tests, beside the running one.
std::string testProgram(const std::string& name);

// A program started with arguments; the inherited handles pass to it. It has no standard input,
// and no standard error or output unless one is given. Ended when the object goes, unless it has
// ended by then.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& arguments,
            std::vector<HANDLE> inherited = {}, HANDLE standardError = nullptr,
            HANDLE standardOutput = nullptr);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Waits for the program to end; its exit code, or -1 when it has not ended in time.
    int wait(std::chrono::milliseconds timeout);
    DWORD id() const { return id_; }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// Polls until the condition holds; false when it did not within the timeout.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// A job that the tests' CUPS scheduler printed. Its capture backend files each job of a queue
// as <job id>.title and .data in the queue's folder of the directory TARVO_CUPS_CAPTURE. (The
// format that it files too is not the spooler's: wine lets CUPS find out the document's type,
// on a raw queue that passes the bytes on unchanged.)
struct CapturedJob {
    std::string title;
    std::string bytes;
};

// Waits until the queue has received at least count jobs, or 20 seconds have passed; returns
// the jobs received, in job order.
std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count);

} // namespace wintest
