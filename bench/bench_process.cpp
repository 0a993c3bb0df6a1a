// Speed and memory of job processing, each against a baseline measured in the same run.
#include "bench/BenchJobs.h"
#include "core/modConfig.h"
#include "platform/Paths.h"
#include "platform/test/RecordingSpooler.h"
#include "process/modProcess.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using bench::kMiB;

constexpr std::size_t kSmallJob = 4 * kMiB;
constexpr std::size_t kLargeJob = 256 * kMiB;
constexpr std::size_t kLargeJobSections = 1000;

bench::Scratch& scratch() {
    static bench::Scratch dir;
    return dir;
}

// The master job file of a size and section count, written once.
const std::string& masterJob(std::size_t bytes, std::size_t sections) {
    static std::map<std::pair<std::size_t, std::size_t>, std::string> jobs;
    auto [it, added] = jobs.try_emplace({bytes, sections});
    if (added) {
        it->second =
            scratch().file("job-" + std::to_string(bytes) + "-" + std::to_string(sections));
        bench::writeJob(it->second, bytes, sections);
    }
    return it->second;
}

enum class Output { File, SpoolerDouble, NotUsed };

// Runs the job through ProcessFile with output 1 of the given kind; only ProcessFile is timed.
void processJob(benchmark::State& state, std::size_t bytes, std::size_t sections, Output output) {
    const std::string& master = masterJob(bytes, sections);
    const std::string work = scratch().file("newjob");
    platform::RecordingSpooler spooler;
    spooler.printers = {"P1"};
    platform::setSpooler(&spooler);
    modConfig::settings.strMapType[0] = output == Output::File            ? "File"
                                        : output == Output::SpoolerDouble ? "Ticket"
                                                                          : "NotUsed";
    modConfig::settings.strMapTarget[0] =
        output == Output::File ? scratch().file("output.bin") : "P1";
    for (auto _ : state) {
        bench::linkJob(master, work);
        const auto start = std::chrono::steady_clock::now();
        modProcess::ProcessFile(work);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        spooler.documents.clear();
        spooler.calls.clear();
    }
    platform::setSpooler(nullptr);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// Baseline: copying the job file with plain read and write in 1 MiB blocks.
void copyFile(benchmark::State& state) {
    const std::string& master = masterJob(kLargeJob, kLargeJobSections);
    const std::string copy = scratch().file("copy.bin");
    std::unique_ptr<char[]> block(new char[kMiB]);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int in = ::open(master.c_str(), O_RDONLY);
        const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ssize_t got = 0;
        while ((got = ::read(in, block.get(), kMiB)) > 0) {
            if (::write(out, block.get(), static_cast<std::size_t>(got)) != got) {
                state.SkipWithError("write failed");
                break;
            }
        }
        ::close(in);
        ::close(out);
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeJob));
}

// Baseline: memcpy of the same number of bytes, already in memory.
void copyMemory(benchmark::State& state) {
    std::unique_ptr<char[]> from(new char[kLargeJob]);
    std::unique_ptr<char[]> to(new char[kLargeJob]);
    std::memset(from.get(), 0x5A, kLargeJob);
    std::memset(to.get(), 0, kLargeJob);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        std::memcpy(to.get(), from.get(), kLargeJob);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
        const auto end = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLargeJob));
}

// Peak resident memory of a child process that runs one job; reported in MiB.
void peakMemory(benchmark::State& state, std::size_t sections, const std::string& type) {
    const std::string& master = masterJob(kLargeJob, sections);
    const std::string work = scratch().file("newjob");
    bench::DiscardingSpooler spooler;
    platform::setSpooler(&spooler);
    modConfig::settings.strMapType[0] = type;
    modConfig::settings.strMapTarget[0] = type == "File" ? scratch().file("output.bin") : "P1";
    // Nothing of an earlier job stays resident in the process that forks.
    modProcess::jobState = {};
    double peak = 0;
    const double before = static_cast<double>(bench::residentBytes());
    for (auto _ : state) {
        bench::linkJob(master, work);
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            modProcess::ProcessFile(work);
            _exit(0);
        }
        int status = 0;
        rusage usage{};
        wait4(child, &status, 0, &usage);
        peak = static_cast<double>(usage.ru_maxrss) * 1024.0;
    }
    platform::setSpooler(nullptr);
    state.counters["peak_MiB"] = peak / kMiB;
    state.counters["before_MiB"] = before / kMiB;
    state.counters["limit_MiB"] = 3.0 * kLargeJob / kMiB + 32;
}

// Prints the table and keeps each run's time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> seconds;
    std::map<std::string, double> cpuSeconds;
    std::map<std::string, double> peakMiB;

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const std::string& name = run.run_name.function_name;
            seconds[name] = run.real_accumulated_time / static_cast<double>(run.iterations);
            cpuSeconds[name] = run.cpu_accumulated_time / static_cast<double>(run.iterations);
            if (auto it = run.counters.find("peak_MiB"); it != run.counters.end()) {
                peakMiB[name] = it->second.value;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printRatio(const char* what, const std::string& slow, const std::string& fast,
                    const char* goal) const {
        auto s = seconds.find(slow);
        auto f = seconds.find(fast);
        if (s != seconds.end() && f != seconds.end()) {
            std::printf("%-62s %7.2f x %7.2f x   %s\n", what, s->second / f->second,
                        cpuSeconds.at(slow) / cpuSeconds.at(fast), goal);
        }
    }
};

const std::string kManyFile = "sections_4MiB/File/100000";
const std::string kOneFile = "sections_4MiB/File/1";
const std::string kManyDouble = "sections_4MiB/SpoolerDouble/100000";
const std::string kOneDouble = "sections_4MiB/SpoolerDouble/1";
const std::string kManyNotUsed = "sections_4MiB/NotUsed/100000";
const std::string kOneNotUsed = "sections_4MiB/NotUsed/1";
const std::string kLargeFile = "job_256MiB_1000_sections/File";
const std::string kLargeDouble = "job_256MiB_1000_sections/SpoolerDouble";
const std::string kCopy = "baseline_read_write_copy_256MiB";
const std::string kMemcpy = "baseline_memcpy_256MiB";

void registerAll() {
    struct Small {
        const char* name;
        Output output;
        std::size_t sections;
        int iterations;
    };
    const Small small[] = {
        {"sections_4MiB/File/1", Output::File, 1, 20},
        // Each section opens, empties, writes and closes the file: about 0.2 to 0.6 ms a section
        // on ext4, which flushes a file emptied and rewritten when it is closed.
        {"sections_4MiB/File/100000", Output::File, 100000, 1},
        {"sections_4MiB/SpoolerDouble/1", Output::SpoolerDouble, 1, 20},
        {"sections_4MiB/SpoolerDouble/100000", Output::SpoolerDouble, 100000, 10},
        {"sections_4MiB/NotUsed/1", Output::NotUsed, 1, 20},
        {"sections_4MiB/NotUsed/100000", Output::NotUsed, 100000, 20},
    };
    for (const Small& b : small) {
        benchmark::RegisterBenchmark(
            b.name,
            [b](benchmark::State& state) { processJob(state, kSmallJob, b.sections, b.output); })
            ->Iterations(b.iterations)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("job_256MiB_1000_sections/File",
                                 [](benchmark::State& state) {
                                     processJob(state, kLargeJob, kLargeJobSections, Output::File);
                                 })
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("job_256MiB_1000_sections/SpoolerDouble",
                                 [](benchmark::State& state) {
                                     processJob(state, kLargeJob, kLargeJobSections,
                                                Output::SpoolerDouble);
                                 })
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline_read_write_copy_256MiB", copyFile)
        ->Iterations(3)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("baseline_memcpy_256MiB", copyMemory)
        ->Iterations(5)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        "peak_memory_256MiB/File_1000_sections",
        [](benchmark::State& state) { peakMemory(state, kLargeJobSections, "File"); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        "peak_memory_256MiB/DupTicket_whole_job",
        [](benchmark::State& state) { peakMemory(state, 1, "Dup Ticket"); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char** argv) {
    // The log of the code under test goes to the scratch directory.
    platform::overrideApplicationDirectory(scratch().file(""));
    benchmark::Initialize(&argc, argv);
    registerAll();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nRatios, same run, same file system %62s\n", "elapsed      CPU");
    reporter.printRatio("4 MiB: 100,000 sections vs 1 section, File output", kManyFile, kOneFile,
                        "(goal <= 1.3)");
    reporter.printRatio("4 MiB: 100,000 sections vs 1 section, spooler double", kManyDouble,
                        kOneDouble, "(goal <= 1.3)");
    reporter.printRatio("4 MiB: 100,000 sections vs 1 section, NotUsed (scan alone)", kManyNotUsed,
                        kOneNotUsed, "(goal <= 1.3)");
    reporter.printRatio("256 MiB, 1,000 sections, File output vs read/write copy", kLargeFile,
                        kCopy, "(goal <= 1.5)");
    reporter.printRatio("256 MiB, 1,000 sections, File output vs memcpy", kLargeFile, kMemcpy, "");
    reporter.printRatio("256 MiB, 1,000 sections, spooler double vs memcpy", kLargeDouble, kMemcpy,
                        "");
    for (const auto& [name, peak] : reporter.peakMiB) {
        std::printf("%-64s %6.0f MiB (limit 3N + 32 MiB = %.0f MiB)\n", name.c_str(), peak,
                    3.0 * kLargeJob / kMiB + 32);
    }
    benchmark::Shutdown();
    return 0;
}
