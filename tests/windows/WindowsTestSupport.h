#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// What the Windows tests share.
namespace wintest {

// The Windows form of a path of the machine that runs wine: its root is drive Z:.
std::string fromUnixPath(const std::string& path);

// The path with every "/" turned into "\\".
std::string windowsPath(std::string path);

// The ANSI text in UTF-16, and the UTF-16 path in its "\\?\" form, which every wide-character
// function takes at any length and with any name.
std::wstring wide(const std::string& text);
std::wstring extendedPath(const std::string& path);

// A file named as a Unicode program may name it (a name that the ANSI code page cannot spell, or
// that ends in a dot or a blank), in the folder directory (ANSI), holding bytes. Removed when the
// object goes, unless it is gone or kept: the C++ library cannot remove a name that ends in a dot.
class WideFile {
public:
    WideFile(const std::string& directory, const std::wstring& name, const std::string& bytes);
    ~WideFile();
    WideFile(WideFile&& other) noexcept;
    WideFile(const WideFile&) = delete;
    WideFile& operator=(const WideFile&) = delete;
    WideFile& operator=(WideFile&&) = delete;

    // Leaves the file when the object goes.
    void keep() { path_.clear(); }

private:
    std::wstring path_;
};

// A new folder below parent (ANSI) whose path is exactly length characters long, made of nested
// folders of at most 200 characters each; its path.
std::string longFolder(const std::string& parent, std::size_t length);

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

// Another process that holds the file open until release(): for reading or for writing, sharing
// it with readers and writers, or for reading sharing it with nobody ("alone").
class HeldFile {
public:
    HeldFile(const std::string& path, const std::string& mode);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

    // The holder closes the file and ends; false when it did not end well within 20 seconds.
    bool release();

private:
    HANDLE ready_;
    HANDLE release_;
    Process holder_;
};

// A named pipe of the test, \\.\pipe\<name>, with one instance waiting for its writer; its
// buffer holds 4 KiB, so a writer that nobody reads soon waits. Read or not, it is closed when
// the object goes.
class PipeServer {
public:
    explicit PipeServer(const std::string& name);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // What a writer opens.
    const std::string& path() const { return path_; }
    // Reads in a thread of its own what the writer writes, until it closes the pipe.
    void startReading();
    // What came once the writer closed the pipe (20 seconds at most).
    std::string received();
    // How many bytes the writer has written that nobody has read yet.
    std::size_t waiting() const;
    // Forces the writer's end closed: a write that waits on it fails.
    void cutOff() { DisconnectNamedPipe(pipe_); }

private:
    std::string path_;
    HANDLE pipe_;
    // Ends the reader's wait.
    HANDLE stop_;
    std::string received_;
    std::atomic<bool> done_ = false;
    std::thread reader_;
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
