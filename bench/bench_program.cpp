// The whole program: the real executable, started from an application directory of its own on
// Qt's offscreen platform, routing job files dropped into its watched directory.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"
#include "platform/Files.h"

#include <benchmark/benchmark.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bench {
namespace {

constexpr std::size_t kLargeJob = 256 * kMiB;
constexpr std::size_t kLargeJobSections = 1000;
constexpr int kLatencyJobs = 30;
constexpr double kTimeoutSeconds = 30;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A copy of the program in an application directory of its own, with a settings file whose
// nine rows write the files out/out<n>.bin, running until the object goes.
class Program {
public:
    Program() {
        std::filesystem::create_directories(watched);
        std::filesystem::create_directories(out);
        std::filesystem::create_directories(staging);
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
        pid_ = fork();
        if (pid_ == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 1);
            setenv("XDG_RUNTIME_DIR", app.c_str(), 1);
            const int log = ::open((app + "/stderr.txt").c_str(), O_WRONLY | O_CREAT, 0644);
            ::dup2(log, 1);
            ::dup2(log, 2);
            const std::string program = app + "/tarvo";
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        clock_getcpuclockid(pid_, &cpuClock_);
    }
    ~Program() {
        ::kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        std::error_code ignored;
        std::filesystem::remove_all(app, ignored);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    std::string outFile(int n) const { return out + "/out" + std::to_string(n) + ".bin"; }

    // CPU time the program has spent so far, all its threads, in seconds.
    double cpuSeconds() const {
        timespec t{};
        if (clock_gettime(cpuClock_, &t) != 0) {
            return -1;
        }
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }

    // Log lines other than the "Processing" line of each job.
    std::string unexpectedLog() const {
        std::istringstream log(readText(app + "/Tarvo.log"));
        std::string line;
        std::string unexpected;
        while (std::getline(log, line)) {
            if (line.find(" - Processing ") == std::string::npos) {
                unexpected += line + "\n";
            }
        }
        return unexpected;
    }

    const std::string app = scratch().file("app");
    const std::string watched = app + "/jobs";
    const std::string out = app + "/out";
    const std::string staging = app + "/staging";

private:
    pid_t pid_ = -1;
    clockid_t cpuClock_ = CLOCK_MONOTONIC;
};

// Tells when a file of a directory has been written and closed.
class CloseWatch {
public:
    explicit CloseWatch(const std::string& directory)
        : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
        inotify_add_watch(fd_, directory.c_str(), IN_CLOSE_WRITE);
    }
    ~CloseWatch() { ::close(fd_); }
    CloseWatch(const CloseWatch&) = delete;
    CloseWatch& operator=(const CloseWatch&) = delete;

    // Waits for the next close of a file of that name after writing; false on timeout.
    bool waitFor(const std::string& name) {
        const double deadline = nowSeconds() + kTimeoutSeconds;
        alignas(inotify_event) char buffer[4096];
        while (nowSeconds() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 100);
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

private:
    int fd_;
};

// Writes a job straight into the watched directory, as the upstream application does.
void writeJobFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    if (!written) {
        throw std::runtime_error("cannot write " + path);
    }
}

// From the close of a small job file to the close of its "File" output with the job's bytes.
void pickUpLatency(benchmark::State& state) {
    Program program;
    CloseWatch closes(program.out);
    std::vector<double> latencies;
    int job = 0;
    for (auto _ : state) {
        // Jobs arrive at every phase of the monitor's ticks.
        std::this_thread::sleep_for(std::chrono::milliseconds(job * 37 % 100));
        const std::string data = "latency " + std::to_string(job);
        const std::string path = program.watched + "/job-" + std::to_string(1000 + job);
        writeJobFile(path, "@!@1" + data);
        const double closed = nowSeconds();
        bool delivered = false;
        while (!delivered && closes.waitFor("out1.bin")) {
            delivered = readText(program.outFile(1)) == data;
        }
        const double done = nowSeconds();
        if (!delivered) {
            state.SkipWithError("a job was not delivered in time");
            break;
        }
        state.SetIterationTime(done - closed);
        // The first job also waits for the program's start.
        if (job++ > 0) {
            latencies.push_back(done - closed);
        }
    }
    if (const std::string log = program.unexpectedLog(); !log.empty()) {
        state.SkipWithError(("unexpected log lines: " + log).c_str());
    }
    state.counters["median_ms"] = median(latencies) * 1e3;
}

// The CPU time of copying the file with cp, in seconds.
// The CPU time of copying the file with cp, in seconds. The copy is removed afterwards unless it
// is kept, for the next copy to write over it as the program writes over its last output.
double cpCpuSeconds(const std::string& from, const std::string& to, bool keep = false) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        execlp("cp", "cp", from.c_str(), to.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!keep) {
        ::unlink(to.c_str());
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// From a 256 MiB job's arrival (renamed into the watched directory) to the close of its last
// section's file: the program's CPU time, against that of cp copying the same file to a new
// name, and over its last copy as the program writes over its last outputs.
void wholeProgram(benchmark::State& state, std::size_t sections) {
    const std::string& master = masterJob(kLargeJob, sections);
    Program program;
    CloseWatch closes(program.out);
    // Started once the first small job is through.
    writeJobFile(program.watched + "/warm-up", "@!@9ready");
    if (!closes.waitFor("out9.bin")) {
        state.SkipWithError("the program did not start");
        return;
    }
    std::vector<double> programCpu;
    std::vector<double> programWall;
    std::vector<double> cpCpu;
    std::vector<double> cpOverCpu;
    const std::string over = scratch().file("cp-over.bin");
    cpCpuSeconds(master, over, true);
    int run = 0;
    for (auto _ : state) {
        const std::string name = "/big-" + std::to_string(run++);
        cpCpu.push_back(cpCpuSeconds(master, scratch().file("cp-copy.bin")));
        cpOverCpu.push_back(cpCpuSeconds(master, over, true));
        linkJob(master, program.staging + name);
        const double cpuBefore = program.cpuSeconds();
        const double arrived = nowSeconds();
        std::filesystem::rename(program.staging + name, program.watched + name);
        if (!closes.waitFor("out9.bin")) {
            state.SkipWithError("the job was not delivered in time");
            break;
        }
        const double done = nowSeconds();
        programCpu.push_back(program.cpuSeconds() - cpuBefore);
        programWall.push_back(done - arrived);
        state.SetIterationTime(done - arrived);
    }
    if (const std::string log = program.unexpectedLog(); !log.empty()) {
        state.SkipWithError(("unexpected log lines: " + log).c_str());
    }
    state.counters["cpu_ms"] = median(programCpu) * 1e3;
    state.counters["wall_ms"] = median(programWall) * 1e3;
    ::unlink(over.c_str());
    state.counters["cp_cpu_ms"] = median(cpCpu) * 1e3;
    state.counters["cp_over_cpu_ms"] = median(cpOverCpu) * 1e3;
}

// The file system's part of a job of 1,000 "File" sections: each section's bytes written to
// its output file as the program writes them (opened, emptied by the first write, written,
// closed), with no job read and nothing scanned. Its CPU time, the median of the runs.
void rewriteFiles(benchmark::State& state) {
    const std::string directory = scratch().file("rewritten");
    std::filesystem::create_directories(directory);
    const std::vector<std::uint8_t> bytes(kLargeJob / kLargeJobSections, 'x');
    const auto writeAll = [&] {
        for (std::size_t s = 0; s < kLargeJobSections; ++s) {
            platform::WriteFile file(directory + "/out" + outputOfSection(s, kLargeJobSections) +
                                     ".bin");
            file.write(bytes.data(), bytes.size() - 4);
            file.close();
        }
    };
    // The files exist and hold a section, as the program's outputs do from its second job on.
    writeAll();
    std::vector<double> cpu;
    for (auto _ : state) {
        const double wall = nowSeconds();
        const double before = processCpuSeconds();
        writeAll();
        cpu.push_back(processCpuSeconds() - before);
        state.SetIterationTime(nowSeconds() - wall);
    }
    state.counters["cpu_ms"] = median(cpu) * 1e3;
}

const std::string kLatency = "program/pick_up_latency";
const std::string kWhole = "program/job_256MiB_1000_File_sections";
const std::string kWholeOne = "program/job_256MiB_1_File_section";
const std::string kRewrite = "program/file_system_part_1000_files_rewritten";

} // namespace

void registerProgramBenchmarks() {
    benchmark::RegisterBenchmark(kLatency.c_str(), pickUpLatency)
        ->Iterations(kLatencyJobs + 1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    for (const auto& [name, sections] :
         {std::pair{kWholeOne, std::size_t{1}}, std::pair{kWhole, kLargeJobSections}}) {
        benchmark::RegisterBenchmark(
            name.c_str(),
            [sections = sections](benchmark::State& state) { wholeProgram(state, sections); })
            ->Iterations(5)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark(kRewrite.c_str(), rewriteFiles)
        ->Iterations(5)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

void addProgramFigures(const Results& results, Table& table) {
    double value = 0;
    double base = 0;
    if (results.get(kLatency, "median_ms", value)) {
        table.add({"Pick-up latency, small job, median of 30", milliseconds(value),
                   "150 ms (one 100 ms tick + work)", value / 150, false, 1.0});
    }
    if (results.get(kWholeOne, "cpu_ms", value) && results.get(kWholeOne, "cp_cpu_ms", base)) {
        table.add({"Whole program: 256 MiB job, 1 File section, CPU", milliseconds(value),
                   "cp of the job file " + milliseconds(base), value / base, false, 1.5});
        if (results.get(kWholeOne, "cp_over_cpu_ms", base)) {
            table.add({"  the same against cp over its last copy, as over an output",
                       milliseconds(value), "cp over its copy " + milliseconds(base), value / base,
                       false, 0});
        }
    }
    if (results.get(kWhole, "cpu_ms", value) && results.get(kWhole, "cp_cpu_ms", base)) {
        table.add({"Whole program: 256 MiB job, 1,000 File sections, CPU", milliseconds(value),
                   "cp of the job file " + milliseconds(base), value / base, false, 3.0});
        double part = 0;
        if (results.get(kRewrite, "cpu_ms", part)) {
            table.add({"  of which the file system's: 1,000 files emptied, written",
                       milliseconds(part), "cp of the job file " + milliseconds(base), part / base,
                       false, 0});
            table.add({"  the rest: reading and scanning the job", milliseconds(value - part),
                       "cp of the job file " + milliseconds(base), (value - part) / base, false,
                       0});
        }
    }
    if (results.get(kWhole, "wall_ms", value)) {
        table.add({"Whole program: same job, arrival to last section", milliseconds(value), "", 0,
                   false, 0});
    }
}

} // namespace bench
