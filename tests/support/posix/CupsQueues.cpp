#include "tests/support/posix/CupsQueues.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace cupstest {
namespace {

namespace fs = std::filesystem;

fs::path queueCaptureDirectory(const std::string& queue) {
    const char* root = std::getenv("TARVO_CUPS_CAPTURE");
    if (root == nullptr || *root == '\0') {
        throw std::runtime_error("TARVO_CUPS_CAPTURE is not set: the test needs the cups fixture");
    }
    return fs::path(root) / queue;
}

// Runs a program with the test's environment and returns its exit status (-1 if it did not
// exit normally).
int run(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

void checkName(const std::string& name) {
    const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-';
    });
    if (!plain) {
        throw std::runtime_error("not a plain queue name: " + name);
    }
}

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::size_t countJobs(const fs::path& directory) {
    std::error_code error;
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        count += entry.path().extension() == ".data" ? 1 : 0;
    }
    return count;
}

// lpadmin, cupsdisable and cupsenable live in /usr/sbin, which a test's PATH may lack.
std::string adminTool(const std::string& name) {
    const std::string installed = "/usr/sbin/" + name;
    return access(installed.c_str(), X_OK) == 0 ? installed : name;
}

std::string lpadmin() {
    return adminTool("lpadmin");
}

} // namespace

void addQueue(const std::string& name) {
    checkName(name);
    if (run({lpadmin(), "-p", name, "-v", "capture:/", "-E"}) != 0) {
        throw std::runtime_error("lpadmin could not add the queue " + name);
    }
}

void addFailingQueue(const std::string& name) {
    checkName(name);
    if (run({lpadmin(), "-p", name, "-v", "failing:/", "-o", "printer-error-policy=abort-job",
             "-E"}) != 0) {
        throw std::runtime_error("lpadmin could not add the queue " + name);
    }
}

void disableQueue(const std::string& name, const std::string& reason) {
    checkName(name);
    if (run({adminTool("cupsdisable"), "-r", reason, name}) != 0) {
        throw std::runtime_error("cupsdisable could not stop the queue " + name);
    }
}

void enableQueue(const std::string& name) {
    checkName(name);
    if (run({adminTool("cupsenable"), name}) != 0) {
        throw std::runtime_error("cupsenable could not start the queue " + name);
    }
}

void setDefaultQueue(const std::string& name) {
    checkName(name);
    if (run({lpadmin(), "-d", name}) != 0) {
        throw std::runtime_error("lpadmin could not make " + name + " the default printer");
    }
}

void removeQueue(const std::string& name) {
    run({lpadmin(), "-x", name});
}

std::vector<CapturedJob> capturedJobs(const std::string& queue) {
    const fs::path directory = queueCaptureDirectory(queue);
    // The backend names each job after its zero-padded job id and moves .data into place
    // last, so sorted .data names are the completed jobs in job order.
    std::vector<fs::path> data;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        if (entry.path().extension() == ".data") {
            data.push_back(entry.path());
        }
    }
    std::sort(data.begin(), data.end());
    std::vector<CapturedJob> jobs;
    for (const fs::path& path : data) {
        fs::path stem = path;
        jobs.push_back({slurp(stem.replace_extension(".title")),
                        slurp(stem.replace_extension(".format")), slurp(path)});
    }
    return jobs;
}

std::size_t unfinishedJobs(const std::string& queue) {
    checkName(queue);
    FILE* lpstat = popen(("lpstat -o " + queue + " 2>/dev/null").c_str(), "r");
    if (lpstat == nullptr) {
        throw std::runtime_error("cannot run lpstat");
    }
    std::size_t lines = 0;
    for (int c = std::fgetc(lpstat); c != EOF; c = std::fgetc(lpstat)) {
        lines += c == '\n' ? 1 : 0;
    }
    pclose(lpstat);
    return lines;
}

std::vector<CapturedJob> waitForJobs(const std::string& queue, std::size_t count,
                                     std::chrono::milliseconds timeout) {
    const fs::path directory = queueCaptureDirectory(queue);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (countJobs(directory) < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return capturedJobs(queue);
}

CaptureQueue::CaptureQueue(std::string name) : name_(std::move(name)) {
    checkName(name_);
    std::error_code ignored;
    fs::remove_all(queueCaptureDirectory(name_), ignored);
    addQueue(name_);
}

CaptureQueue::~CaptureQueue() {
    removeQueue(name_);
}

} // namespace cupstest
