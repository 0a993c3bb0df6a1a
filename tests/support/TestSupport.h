#pragma once

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

// Makes a temporary directory the application directory, and another (private) the user's home
// directory, so that the settings file, the log and the single-instance lock of the code under
// test live there; fixes the clock at a known time and catches the message boxes
// that would have been shown. Everything is restored when the object goes.
class AppSandbox {
public:
    AppSandbox();
    ~AppSandbox();

    const TempDir& dir() const { return dir_; }
    std::string logPath() const { return dir_.file("Tarvo.log"); }
    std::string iniPath() const { return dir_.file("tarvo.ini"); }
    const TempDir& home() const { return home_; }

    // The whole lines of Tarvo.log, without their line ends.
    std::vector<std::string> logLines() const { return testsupport::logLines(logPath()); }
    // What each line says after its date and " - ".
    std::vector<std::string> logMessages() const { return testsupport::logMessages(logPath()); }
    // The texts of the message boxes shown so far.
    const std::vector<std::string>& messageBoxes() const { return boxes_; }

    // The fixed clock's time: 2026-03-05 14:07:09 local time.
    static std::time_t fixedTime();

private:
    TempDir dir_;
    TempDir home_;
    std::vector<std::string> boxes_;
};

} // namespace testsupport
