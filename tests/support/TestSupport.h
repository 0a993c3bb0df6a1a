#pragma once

#include "core/Application.h"
#include "platform/test/TestPlatform.h"

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// The helpers that every test may use, on any platform; what needs POSIX (child processes,
// signals) is in tests/support/posix.

// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, std::string_view bytes);
bool exists(const std::string& path);

// The whole lines of a log file, without their line ends.
std::vector<std::string> logLines(const std::string& path);
// What each line of a log file says after its date and " - ".
std::vector<std::string> logMessages(const std::string& path);
// The messages of a log file but its "Processing" lines: what the routing of jobs said besides
// naming each job that it took.
std::vector<std::string> routingMessages(const std::string& path);
// The routing's messages but the lines of the sections kept in "failed": for tests of what
// failed, not of what was kept.
std::vector<std::string> failureMessages(const std::string& path);

// A platform of test doubles whose application directory is a temporary directory, and whose
// home directory another (private) one, so that the settings file, the log and the
// single-instance lock of the code under test live there; its clock stands at a known time,
// and the alert boxes that would have been shown are kept. The application on it is at hand.
class AppSandbox {
public:
    AppSandbox();

    const TempDir& dir() const { return dir_; }
    std::string logPath() const { return dir_.file("Tarvo.log"); }
    std::string iniPath() const { return dir_.file("tarvo.ini"); }
    const TempDir& home() const { return home_; }

    platform::TestPlatform& platform() { return platform_; }
    platform::AlertBox& alertBox() { return alerts_; }
    core::Application& application() { return application_; }
    core::ActivityLog& log() { return application_.log(); }

    // The whole lines of Tarvo.log, without their line ends.
    std::vector<std::string> logLines() const { return testsupport::logLines(logPath()); }
    // What each line says after its date and " - ".
    std::vector<std::string> logMessages() const { return testsupport::logMessages(logPath()); }
    std::vector<std::string> routingMessages() const {
        return testsupport::routingMessages(logPath());
    }
    std::vector<std::string> failureMessages() const {
        return testsupport::failureMessages(logPath());
    }
    // The texts of the alert boxes shown so far.
    const std::vector<std::string>& messageBoxes() const { return alerts_.texts; }

    // The fixed clock's time: 2026-03-05 14:07:09 local time.
    static std::time_t fixedTime();

private:
    TempDir dir_;
    TempDir home_;
    platform::RecordingAlertBox alerts_;
    platform::TestPlatform platform_;
    core::Application application_;
};

} // namespace testsupport
