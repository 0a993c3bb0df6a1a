// Pick-up by the whole program: how soon a job is taken once its writer has closed it, how fast
// a burst of jobs goes through, and what the program costs while it waits. The real executable
// runs from an application directory of its own on Qt's offscreen platform, its nine rows
// writing the files out/out<n>.bin.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

constexpr int kLatencyJobs = 100;
constexpr int kBurstJobs = 1000;
constexpr double kIdleSeconds = 10;
constexpr double kTimeoutSeconds = 30;
// A burst taken one job per tick, as it was once, takes 100 s.
constexpr double kBurstTimeoutSeconds = 300;
constexpr double kLatencyGoalMs = 5;
constexpr double kBurstGoalPerSecond = 500;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes a job straight into the watched directory, as the upstream application does.
void writeJobFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const bool written =
        fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    if (fd < 0 || ::close(fd) != 0 || !written) {
        throw std::runtime_error("cannot write " + path);
    }
}

// Tells when a file of a directory, made here when missing, has been written and closed.
class OutputCloses {
public:
    explicit OutputCloses(const std::string& directory)
        : fd_(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        std::filesystem::create_directories(directory);
        ::inotify_add_watch(fd_, directory.c_str(), IN_CLOSE_WRITE);
    }
    ~OutputCloses() { ::close(fd_); }
    OutputCloses(const OutputCloses&) = delete;
    OutputCloses& operator=(const OutputCloses&) = delete;

    // Waits until the file at path holds bytes, looking again at every close of a file of the
    // directory; false on timeout.
    bool waitForContent(const std::string& path, const std::string& bytes,
                        double timeoutSeconds = kTimeoutSeconds) {
        const double deadline = nowSeconds() + timeoutSeconds;
        alignas(inotify_event) char buffer[4096];
        while (readText(path) != bytes) {
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

private:
    int fd_;
};

// A copy of the program with nine "File" rows, running until the object goes. The first job
// it routes tells that it has started.
class Program {
public:
    explicit Program(const std::string& name) : app(scratch().file(name)) {
        std::filesystem::create_directories(watched);
        // The runtime directory must be private to the program, or Qt complains.
        std::filesystem::permissions(app, std::filesystem::perms::owner_all);
        std::filesystem::copy_file(TARVO_EXECUTABLE, app + "/tarvo");
        std::ofstream ini(app + "/tarvo.ini", std::ios::binary);
        ini << "[MAP]\r\n";
        for (int n = 1; n <= 9; ++n) {
            ini << "@@" << n << "@=" << outFile(n) << "\r\nType" << n << "=File\r\n";
        }
        ini << "[MONITOR]\r\nPATH=" << watched << "\r\n";
        ini.close();

        std::fflush(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("XDG_RUNTIME_DIR", app.c_str(), 1);
            const int log = ::open((app + "/stderr.txt").c_str(), O_WRONLY | O_CREAT, 0644);
            ::dup2(log, 1);
            ::dup2(log, 2);
            const std::string program = app + "/tarvo";
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ::clock_getcpuclockid(pid_, &cpuClock_);
        writeJobFile(watched + "/started", "@!@9started");
        started_ = closes.waitForContent(outFile(9), "started");
    }
    ~Program() {
        ::kill(pid_, SIGCONT);
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        std::error_code ignored;
        std::filesystem::remove_all(app, ignored);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool started() const { return started_; }
    std::string outFile(int n) const { return out + "/out" + std::to_string(n) + ".bin"; }
    // Stops the program where it stands, and waits until it has stopped; or lets it go on.
    void pause(bool paused) const {
        ::kill(pid_, paused ? SIGSTOP : SIGCONT);
        if (paused) {
            ::waitpid(pid_, nullptr, WUNTRACED);
        }
    }

    // CPU time the program has spent so far, all its threads, in seconds.
    double cpuSeconds() const {
        timespec t{};
        ::clock_gettime(cpuClock_, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }

    // The names of the jobs taken, in the order of the log's "Processing" lines; every other
    // line goes to unexpected.
    std::vector<std::string> jobsTaken(std::string& unexpected) const {
        std::istringstream log(readText(app + "/Tarvo.log"));
        const std::string processing = " - Processing " + watched + "/";
        std::vector<std::string> names;
        for (std::string line; std::getline(log, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const std::size_t at = line.find(processing);
            if (at == std::string::npos) {
                unexpected += line + "\n";
            } else {
                names.push_back(line.substr(at + processing.size()));
            }
        }
        return names;
    }

    const std::string app;
    const std::string watched = app + "/jobs";
    const std::string out = app + "/out";
    // Made before the program starts, with the output directory.
    OutputCloses closes{out};

private:
    pid_t pid_ = -1;
    clockid_t cpuClock_ = CLOCK_MONOTONIC;
    bool started_ = false;
};

// Skips the run with the log's unexpected lines, if any.
void checkLog(benchmark::State& state, const Program& program) {
    std::string unexpected;
    program.jobsTaken(unexpected);
    if (!unexpected.empty()) {
        state.SkipWithError(("unexpected log lines: " + unexpected).c_str());
    }
}

// From the close of a small job written into the watched directory to the close of its "File"
// output with the job's bytes. Jobs come at every phase of the monitor's 100 ms timer.
void pickUpLatency(benchmark::State& state) {
    Program program("latency");
    if (!program.started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    std::vector<double> latencies;
    int job = 0;
    for (auto _ : state) {
        std::this_thread::sleep_for(std::chrono::milliseconds(job * 37 % 100));
        const std::string data = "latency " + std::to_string(job);
        writeJobFile(program.watched + "/job-" + std::to_string(1000 + job++), "@!@1" + data);
        const double closed = nowSeconds();
        if (!program.closes.waitForContent(program.outFile(1), data)) {
            state.SkipWithError("a job was not routed in time");
            return;
        }
        latencies.push_back(nowSeconds() - closed);
        state.SetIterationTime(latencies.back());
    }
    checkLog(state, program);
    state.counters["median_ms"] = median(latencies) * 1e3;
}

// A thousand small jobs, written in no particular order while the program is stopped, all there
// when it goes on: from then to the close of the last one's "File" output. Every job must be
// taken once, in name order.
void burst(benchmark::State& state) {
    Program program("burst");
    if (!program.started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    std::vector<std::string> names;
    for (int i = 0; i < kBurstJobs; ++i) {
        names.push_back("burst-" + std::to_string(10000 + i));
    }
    std::vector<std::string> written = names;
    std::shuffle(written.begin(), written.end(), std::mt19937(20260305));
    double seconds = 0;
    for (auto _ : state) {
        program.pause(true);
        for (const std::string& name : written) {
            writeJobFile(program.watched + "/" + name, "@!@1" + name);
        }
        const double start = nowSeconds();
        program.pause(false);
        if (!program.closes.waitForContent(program.outFile(1), names.back(),
                                           kBurstTimeoutSeconds)) {
            state.SkipWithError("the burst was not routed in time");
            return;
        }
        seconds = nowSeconds() - start;
        state.SetIterationTime(seconds);
    }
    std::string unexpected;
    std::vector<std::string> taken = program.jobsTaken(unexpected);
    taken.erase(taken.begin()); // the job that told that the program had started
    const auto wrong = std::mismatch(taken.begin(), taken.end(), names.begin(), names.end());
    if (wrong.first != taken.end() || wrong.second != names.end() || !unexpected.empty()) {
        const std::string where = wrong.first == taken.end() ? "(none)" : *wrong.first;
        state.SkipWithError(("jobs not taken once each in name order from " + where +
                             "; unexpected log lines: " + unexpected)
                                .c_str());
        return;
    }
    state.counters["jobs_per_s"] = kBurstJobs / seconds;
}

// The program's CPU time while its watched directory stays empty, as a share of one core.
void idle(benchmark::State& state) {
    Program program("idle");
    if (!program.started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    // The job that told that it had started is behind it.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double share = 0;
    for (auto _ : state) {
        const double cpuBefore = program.cpuSeconds();
        const double start = nowSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
        const double elapsed = nowSeconds() - start;
        share = (program.cpuSeconds() - cpuBefore) / elapsed;
        state.SetIterationTime(elapsed);
    }
    checkLog(state, program);
    state.counters["core_share"] = share;
}

const std::string kLatency = "pickup/latency_small_job";
const std::string kBurst = "pickup/burst_1000_small_jobs";
const std::string kIdle = "pickup/idle_empty_directory";

} // namespace

void registerPickupBenchmarks() {
    benchmark::RegisterBenchmark(kLatency.c_str(), pickUpLatency)
        ->Iterations(kLatencyJobs)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kBurst.c_str(), burst)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(kIdle.c_str(), idle)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void addPickupFigures(const Results& results, Table& table) {
    double value = 0;
    if (results.get(kLatency, "median_ms", value)) {
        table.add({"Pick-up latency, job close to File output, median of 100", milliseconds(value),
                   "5 ms", value / kLatencyGoalMs, false, 1.0});
    }
    if (results.get(kBurst, "jobs_per_s", value)) {
        char measured[32];
        std::snprintf(measured, sizeof measured, "%.0f jobs/s", value);
        table.add({"Burst of 1,000 small jobs to a File output, in name order", measured,
                   "500 jobs/s", kBurstGoalPerSecond / value, false, 1.0});
    }
    if (results.get(kIdle, "core_share", value)) {
        char measured[32];
        std::snprintf(measured, sizeof measured, "%.1f us CPU/s", value * 1e6);
        table.add({"Idle program, empty watched directory", measured, "one core", value, true, 0});
    }
}

} // namespace bench
