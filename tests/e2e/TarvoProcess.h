#pragma once

#include "tests/support/TestSupport.h"

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

// A copy of the real program in an application directory of its own (so its single-instance
// lock is its own), started on Qt's offscreen platform with its own runtime directory. What it
// writes to standard error is kept in a file outside that directory.
class TarvoInstall {
public:
    TarvoInstall();

    const testsupport::TempDir& dir() const { return dir_; }
    std::string iniPath() const { return dir_.file("tarvo.ini"); }
    std::string logPath() const { return dir_.file("Tarvo.log"); }
    // What each log line says after its date and " - ".
    std::vector<std::string> logMessages() const;

    // The lines that the program's runs have written to standard error so far.
    std::vector<std::string> errorLines() const;

    // Starts the program; returns its process id. Without a display it runs on Qt's offscreen
    // platform; with one (an X display name) it chooses its platform itself. The runtime
    // directory is the application directory unless another is named.
    pid_t start(const char* display = nullptr, const std::string& runtimeDirectory = {}) const;

private:
    testsupport::TempDir dir_;
    testsupport::TempDir output_;
};

// A started program, stopped by SIGTERM when the object goes.
class RunningTarvo {
public:
    explicit RunningTarvo(const TarvoInstall& install, const char* display = nullptr)
        : pid_(install.start(display)) {}
    ~RunningTarvo();
    RunningTarvo(const RunningTarvo&) = delete;
    RunningTarvo& operator=(const RunningTarvo&) = delete;

    pid_t pid() const { return pid_; }
    bool alive() const;

private:
    pid_t pid_;
};

// Waits for the process to end; returns its exit code, or -1 when it did not end in time.
int waitForExit(pid_t pid, std::chrono::milliseconds timeout);

// Polls until the condition holds; false when it did not within the timeout.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Puts a job into the watched directory at once: written elsewhere, then renamed in.
void dropJob(const std::string& directory, const std::string& name, const std::string& bytes);

} // namespace e2e
