#pragma once

#include "tests/support/TestSupport.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// The user who runs the tests as a started program sees them: the same user and group, whose
// entry in a password database of its own names a temporary home directory. The program's
// single-instance lock and its default watched directory lie there, never in the real home,
// and programs started for two users of this kind never meet.
class UserHome {
public:
    UserHome();

    const testsupport::TempDir& dir() const { return home_; }

    // Sets, in a child process about to start the program, what makes the program see this
    // home: the password database (through nss_wrapper), HOME, and the XDG base directories
    // left to their defaults under HOME.
    void enter() const;

private:
    testsupport::TempDir home_;
    testsupport::TempDir database_;
    // nss_wrapper, after the sanitizer's runtime where the program has one.
    std::string preload_;
};

// A copy of the real program in an application directory of its own, for a user of its own
// unless it is given one, started on Qt's offscreen platform with its own runtime directory.
// What it writes to standard error is kept in a file outside that directory.
class TarvoInstall {
public:
    explicit TarvoInstall(std::shared_ptr<const UserHome> user = std::make_shared<UserHome>());

    const std::shared_ptr<const UserHome>& user() const { return user_; }

    const testsupport::TempDir& dir() const { return dir_; }
    std::string iniPath() const { return dir_.file("tarvo.ini"); }
    std::string logPath() const { return dir_.file("Tarvo.log"); }
    // What each log line says after its date and " - ".
    std::vector<std::string> logMessages() const;

    // The lines that the program's runs have written to standard error so far.
    std::vector<std::string> errorLines() const;

    // Starts the program; returns its process id. Without a display it runs on Qt's offscreen
    // platform; with one (an X display name) it chooses its platform itself. The runtime
    // directory is one of its own and HOME is the user's home, unless another directory is
    // named for both, as another way of starting it (cron, su) might set them.
    pid_t start(const char* display = nullptr, const std::string& otherEnvironment = {}) const;

private:
    std::shared_ptr<const UserHome> user_;
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

} // namespace testsupport
