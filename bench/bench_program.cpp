// The whole program: the real executable, started from an application directory of its own on
// Qt's offscreen platform, routing job files dropped into its watched directory.
#include "bench/BenchJobs.h"
#include "bench/BenchProgram.h"
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
#include <poll.h>
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
constexpr double kTimeoutSeconds = 30;

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
    if (!program.started()) {
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
        if (!program.closes.waitForClose("out9.bin", kTimeoutSeconds)) {
            state.SkipWithError("the job was not delivered in time");
            break;
        }
        const double done = nowSeconds();
        programCpu.push_back(program.cpuSeconds() - cpuBefore);
        programWall.push_back(done - arrived);
        state.SetIterationTime(done - arrived);
    }
    checkLog(state, program);
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

const std::string kWhole = "program/job_256MiB_1000_File_sections";
const std::string kWholeOne = "program/job_256MiB_1_File_section";
const std::string kRewrite = "program/file_system_part_1000_files_rewritten";

} // namespace

void registerProgramBenchmarks() {
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
