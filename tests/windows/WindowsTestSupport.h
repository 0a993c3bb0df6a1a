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

// The path of a program of the tests, beside the running one.
std::string testProgram(const std::string& name);

// A program started with arguments; the inherited handles pass to it, and standard error, when
// given, is its standard error (it has no standard input or output then). Ended when the object
// goes, unless it has ended by then.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& arguments,
            std::vector<HANDLE> inherited = {}, HANDLE standardError = nullptr);
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

} // namespace wintest
