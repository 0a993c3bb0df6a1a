#include "tests/e2e/TarvoProcess.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

TarvoInstall::TarvoInstall() {
    std::filesystem::copy_file(TARVO_EXECUTABLE, dir_.file("tarvo"));
}

std::vector<std::string> TarvoInstall::logMessages() const {
    return testsupport::logMessages(logPath());
}

std::vector<std::string> TarvoInstall::errorLines() const {
    std::vector<std::string> lines;
    std::istringstream text(testsupport::readFile(output_.file("stderr")));
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

pid_t TarvoInstall::start(const char* display, const std::string& runtimeDirectory) const {
    const std::string program = dir_.file("tarvo");
    const std::string errors = output_.file("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        if (display != nullptr) {
            unsetenv("QT_QPA_PLATFORM");
            unsetenv("WAYLAND_DISPLAY");
            setenv("DISPLAY", display, 1);
        } else {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
        }
        setenv("XDG_RUNTIME_DIR",
               runtimeDirectory.empty() ? dir_.path().c_str() : runtimeDirectory.c_str(), 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

RunningTarvo::~RunningTarvo() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitForExit(pid_, std::chrono::seconds(5));
    }
}

bool RunningTarvo::alive() const {
    return waitpid(pid_, nullptr, WNOHANG) == 0;
}

int waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            if (done == 0) {
                kill(pid, SIGKILL);
                waitpid(pid, nullptr, 0);
            }
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

void dropJob(const std::string& directory, const std::string& name, const std::string& bytes) {
    const std::string staging = directory + "/../." + name + ".staging";
    testsupport::writeFile(staging, bytes);
    std::filesystem::rename(staging, directory + "/" + name);
}

} // namespace e2e
