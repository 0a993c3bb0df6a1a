#include "bench/BenchProgram.h"

#include "bench/Timing.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr double kStartSeconds = 30;

} // namespace

void writeJobFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    if (fd < 0 || ::close(fd) != 0 || !written) {
        throw std::runtime_error("cannot write " + path);
    }
}

OutputCloses::OutputCloses(const std::string& directory)
    : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    std::filesystem::create_directories(directory);
    ::inotify_add_watch(fd_, directory.c_str(), IN_CLOSE_WRITE);
}

OutputCloses::~OutputCloses() {
    ::close(fd_);
}

bool OutputCloses::waitForClose(const std::string& name, double timeoutSeconds) {
    const double deadline = nowSeconds() + timeoutSeconds;
    alignas(inotify_event) char buffer[4096];
    while (nowSeconds() < deadline) {
        pollfd ready{fd_, POLLIN, 0};
        ::poll(&ready, 1, 100);
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0 && name == event->name) {
                return true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

bool OutputCloses::waitForContent(const std::string& path, const std::string& bytes,
                                  double timeoutSeconds) {
    const double deadline = nowSeconds() + timeoutSeconds;
    alignas(inotify_event) char buffer[4096];
    while (testsupport::readFile(path) != bytes) {
        pollfd ready{fd_, POLLIN, 0};
        if (nowSeconds() > deadline) {
            return false;
        }
        ::poll(&ready, 1, 100);
        while (::read(fd_, buffer, sizeof buffer) > 0) {
        }
    }
    return true;
}

Program::Program() {
    std::filesystem::create_directories(watched);
    std::filesystem::create_directories(staging);
    std::ofstream ini(install_.iniPath(), std::ios::binary);
    ini << "[MAP]\r\n";
    for (int n = 1; n <= 9; ++n) {
        if (n == kNamedRow) {
            ini << "@@" << n << "@=" << out << "\r\nType" << n << "=NamedFile\r\n";
        } else {
            ini << "@@" << n << "@=" << outFile(n) << "\r\nType" << n << "=File\r\n";
        }
    }
    ini << "[MONITOR]\r\nPATH=" << watched << "\r\n";
    ini.close();
    pid_ = install_.start();
    ::clock_getcpuclockid(pid_, &cpuClock_);
    writeJobFile(watched + "/started", "@!@9started");
    started_ = closes.waitForContent(outFile(9), "started", kStartSeconds);
}

Program::~Program() {
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

void Program::pause(bool paused) const {
    ::kill(pid_, paused ? SIGSTOP : SIGCONT);
    if (paused) {
        ::waitpid(pid_, nullptr, WUNTRACED);
    }
}

double Program::cpuSeconds() const {
    timespec t{};
    if (::clock_gettime(cpuClock_, &t) != 0) {
        return -1;
    }
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

std::vector<std::string> Program::jobsTaken(std::string& unexpected) const {
    const std::string processing = "Processing " + watched + "/";
    std::vector<std::string> names;
    for (const std::string& message : install_.logMessages()) {
        if (message.rfind(processing, 0) != 0) {
            unexpected += message + "\n";
        } else if (const std::string name = message.substr(processing.size()); name != "started") {
            names.push_back(name);
        }
    }
    return names;
}

void checkLog(benchmark::State& state, const Program& program) {
    std::string unexpected;
    program.jobsTaken(unexpected);
    if (!unexpected.empty()) {
        state.SkipWithError(("unexpected log lines: " + unexpected).c_str());
    }
}

} // namespace bench
