#include "tests/support/posix/TarvoProcess.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <link.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

// The AddressSanitizer runtime that this test runs with, "" without one. The program is built
// as the test is, and that runtime must come before any other library preloaded into it.
std::string sanitizerRuntime() {
    std::string runtime;
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* found) {
            const std::string_view name = info->dlpi_name;
            if (name.find("/libasan.so") == std::string_view::npos) {
                return 0;
            }
            *static_cast<std::string*>(found) = name;
            return 1;
        },
        &runtime);
    return runtime;
}

} // namespace

UserHome::UserHome() {
    if (access(TARVO_NSS_WRAPPER, R_OK) != 0) {
        // Without it the program would lock and watch in the real home.
        throw std::runtime_error("nss_wrapper is missing: " + std::string(TARVO_NSS_WRAPPER));
    }
    // As private as a home must be for the lock, whatever the umask.
    chmod(home_.path().c_str(), 0700);
    const std::string runtime = sanitizerRuntime();
    preload_ = (runtime.empty() ? "" : runtime + " ") + TARVO_NSS_WRAPPER;

    const passwd* user = getpwuid(getuid());
    const group* primary = getgrgid(getgid());
    const std::string uid = std::to_string(getuid());
    const std::string gid = std::to_string(getgid());
    testsupport::writeFile(database_.file("passwd"),
                           (user != nullptr ? user->pw_name : "tarvo-test") + (":x:" + uid) + ":" +
                               gid + ":Tarvo test:" + home_.path() + ":/bin/sh\n");
    testsupport::writeFile(database_.file("group"),
                           (primary != nullptr ? primary->gr_name : "tarvo-test") + (":x:" + gid) +
                               ":\n");
}

void UserHome::enter() const {
    setenv("LD_PRELOAD", preload_.c_str(), 1);
    setenv("NSS_WRAPPER_PASSWD", database_.file("passwd").c_str(), 1);
    setenv("NSS_WRAPPER_GROUP", database_.file("group").c_str(), 1);
    setenv("HOME", home_.path().c_str(), 1);
    for (const char* variable :
         {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
        unsetenv(variable);
    }
}

TarvoInstall::TarvoInstall(std::shared_ptr<const UserHome> user) : user_(std::move(user)) {
    std::filesystem::copy_file(TARVO_EXECUTABLE, dir_.file("tarvo"));
    // Qt takes only a runtime directory that its owner alone may enter.
    mkdir(output_.file("runtime").c_str(), 0700);
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

pid_t TarvoInstall::start(const char* display, const std::string& otherEnvironment) const {
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
        user_->enter();
        setenv("XDG_RUNTIME_DIR", output_.file("runtime").c_str(), 1);
        if (!otherEnvironment.empty()) {
            setenv("XDG_RUNTIME_DIR", otherEnvironment.c_str(), 1);
            setenv("HOME", otherEnvironment.c_str(), 1);
        }
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

} // namespace testsupport
