// Job processing in this process: throughput against copy baselines, the cost of many
// sections, and the peak memory of a job.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"
#include "core/modConfig.h"
#include "platform/test/RecordingSpooler.h"
#include "process/modProcess.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr std::size_t kSmallJob = 4 * kMiB;
constexpr std::size_t kManySections = 100000;
constexpr std::size_t kLargeJob = 256 * kMiB;
constexpr std::size_t kLargeJobSections = 1000;

enum class Output { File, Ticket, NotUsed };

const char* typeName(Output output) {
    return output == Output::File ? "File" : output == Output::Ticket ? "Ticket" : "NotUsed";
}

// Every row of the output map of one type: row n writes the file out<n>.bin, or prints on
// "P<n>".
void setAllRows(const std::string& type) {
    for (std::size_t row = 0; row < 9; ++row) {
        const std::string n = std::to_string(row + 1);
        modConfig::settings.strMapType[row] = type;
        modConfig::settings.strMapTarget[row] =
            type == "File" ? scratch().file("out" + n + ".bin") : "P" + n;
    }
}

// Runs the job through ProcessFile with every row of one type; only ProcessFile is timed.
void processJob(benchmark::State& state, std::size_t bytes, std::size_t sections, Output output,
                platform::Spooler& spooler) {
    const std::string& master = masterJob(bytes, sections);
    const std::string work = scratch().file("newjob");
    platform::setSpooler(&spooler);
    setAllRows(typeName(output));
    // One run first, untimed, so that the first timed run finds what every later run finds.
    linkJob(master, work);
    modProcess::ProcessFile(work);
    Timing timing;
    for (auto _ : state) {
        linkJob(master, work);
        timing.start();
        modProcess::ProcessFile(work);
        timing.stop(state);
    }
    platform::setSpooler(nullptr);
    timing.report(state);
}

void processJobDiscarding(benchmark::State& state, std::size_t bytes, std::size_t sections,
                          Output output) {
    DiscardingSpooler spooler;
    processJob(state, bytes, sections, output, spooler);
}

// The spooler double of the unit tests, which records every document and call.
void processJobRecording(benchmark::State& state) {
    platform::RecordingSpooler spooler;
    for (char n = '1'; n <= '9'; ++n) {
        spooler.printers.push_back(std::string{'P', n});
    }
    processJob(state, kLargeJob, kLargeJobSections, Output::Ticket, spooler);
}

// Baseline: copying the job file with plain read and write in 1 MiB blocks.
void copyFile(benchmark::State& state) {
    const std::string& master = masterJob(kLargeJob, kLargeJobSections);
    const std::string copy = scratch().file("copy.bin");
    std::unique_ptr<char[]> block(new char[kMiB]);
    Timing timing;
    for (auto _ : state) {
        timing.start();
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
        timing.stop(state);
    }
    ::unlink(copy.c_str());
    timing.report(state);
}

// Baseline: memcpy of the same number of bytes, already in memory.
void copyMemory(benchmark::State& state) {
    std::unique_ptr<char[]> from(new char[kLargeJob]);
    std::unique_ptr<char[]> to(new char[kLargeJob]);
    std::memset(from.get(), 0x5A, kLargeJob);
    std::memset(to.get(), 0, kLargeJob);
    Timing timing;
    for (auto _ : state) {
        timing.start();
        std::memcpy(to.get(), from.get(), kLargeJob);
        benchmark::DoNotOptimize(to.get());
        benchmark::ClobberMemory();
        timing.stop(state);
    }
    timing.report(state);
}

// A field of /proc/self/status in bytes ("VmRSS", "VmHWM").
double statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::stod(line.substr(field.size() + 1)) * 1024;
        }
    }
    return 0;
}

// Peak resident memory of one job, run in a child process. The child resets its peak to what
// it inherited, so that the job's own peak is its peak less its resident memory at the start.
void peakMemory(benchmark::State& state, std::size_t sections, const std::string& type) {
    const std::string& master = masterJob(kLargeJob, sections);
    const std::string work = scratch().file("newjob");
    DiscardingSpooler spooler;
    platform::setSpooler(&spooler);
    setAllRows(type);
    // Nothing of an earlier job stays resident in the process that forks.
    modProcess::jobState = {};
    double measured[2] = {0, 0}; // at the start, peak
    for (auto _ : state) {
        linkJob(master, work);
        int channel[2];
        if (::pipe(channel) != 0) {
            state.SkipWithError("pipe failed");
            break;
        }
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            std::ofstream("/proc/self/clear_refs") << "5";
            const double atStart[2] = {statusBytes("VmRSS"), 0};
            modProcess::ProcessFile(work);
            const double result[2] = {atStart[0], statusBytes("VmHWM")};
            const bool sent = ::write(channel[1], result, sizeof result) == sizeof result;
            _exit(sent ? 0 : 1);
        }
        ::close(channel[1]);
        const bool received = ::read(channel[0], measured, sizeof measured) == sizeof measured;
        ::close(channel[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (!received || status != 0) {
            state.SkipWithError("the job's child process failed");
        }
    }
    platform::setSpooler(nullptr);
    state.counters["start_MiB"] = measured[0] / kMiB;
    state.counters["peak_MiB"] = measured[1] / kMiB;
    state.counters["job_peak_MiB"] = (measured[1] - measured[0]) / kMiB;
}

std::string sectionsName(Output output, std::size_t sections) {
    return std::string("sections_4MiB/") + typeName(output) + "/" + std::to_string(sections);
}

const std::string kLargeFile = "job_256MiB_1000_sections/File";
const std::string kLargeRecording = "job_256MiB_1000_sections/SpoolerDouble";
const std::string kCopy = "baseline_read_write_copy_256MiB";
const std::string kMemcpy = "baseline_memcpy_256MiB";
const std::string kPeakFile = "peak_memory_256MiB/File_1000_sections";
const std::string kPeakDup = "peak_memory_256MiB/DupTicket_whole_job";

benchmark::internal::Benchmark* timed(benchmark::internal::Benchmark* b, int iterations) {
    return b->Iterations(iterations)->UseManualTime()->Unit(benchmark::kMillisecond);
}

} // namespace

void registerProcessBenchmarks() {
    struct Small {
        Output output;
        std::size_t sections;
        int iterations;
    };
    const Small small[] = {
        {Output::NotUsed, 1, 50}, {Output::NotUsed, kManySections, 50},
        {Output::Ticket, 1, 50},  {Output::Ticket, kManySections, 50},
        {Output::File, 1, 50},    {Output::File, kManySections, 3},
    };
    for (const Small& b : small) {
        timed(benchmark::RegisterBenchmark(sectionsName(b.output, b.sections).c_str(),
                                           [b](benchmark::State& state) {
                                               processJobDiscarding(state, kSmallJob, b.sections,
                                                                    b.output);
                                           }),
              b.iterations);
    }
    timed(benchmark::RegisterBenchmark(kLargeFile.c_str(),
                                       [](benchmark::State& state) {
                                           processJobDiscarding(state, kLargeJob, kLargeJobSections,
                                                                Output::File);
                                       }),
          5);
    timed(benchmark::RegisterBenchmark(kLargeRecording.c_str(), processJobRecording), 3);
    timed(benchmark::RegisterBenchmark(kCopy.c_str(), copyFile), 5);
    timed(benchmark::RegisterBenchmark(kMemcpy.c_str(), copyMemory), 5);
    benchmark::RegisterBenchmark(kPeakFile.c_str(), [](benchmark::State& state) {
        peakMemory(state, kLargeJobSections, "File");
    })->Iterations(1);
    benchmark::RegisterBenchmark(kPeakDup.c_str(), [](benchmark::State& state) {
        peakMemory(state, 1, "Dup Ticket");
    })->Iterations(1);
}

void addProcessFigures(const Results& results, Table& table) {
    double job = 0;
    double base = 0;
    if (results.get(kLargeFile, "wall_ms", job) && results.get(kCopy, "wall_ms", base)) {
        table.add({"Throughput: 256 MiB, 1,000 File sections, elapsed", milliseconds(job),
                   "read/write copy " + milliseconds(base), job / base, false, 1.5});
    }
    if (results.get(kLargeFile, "cpu_ms", job) && results.get(kCopy, "cpu_ms", base)) {
        table.add({"Throughput: 256 MiB, 1,000 File sections, CPU", milliseconds(job),
                   "read/write copy " + milliseconds(base), job / base, false, 0});
    }
    const double mib = static_cast<double>(kLargeJob / kMiB);
    const auto speed = [mib](double ms) { return std::to_string(int(mib / ms * 1e3)) + " MiB/s"; };
    if (results.get(kLargeFile, "wall_ms", job) && results.get(kMemcpy, "wall_ms", base)) {
        table.add({"Throughput: 256 MiB, 1,000 File sections vs memcpy", speed(job),
                   "memcpy " + speed(base), job / base, false, 0});
    }
    if (results.get(kLargeRecording, "wall_ms", job) && results.get(kMemcpy, "wall_ms", base)) {
        table.add({"Throughput: same job, spooler double vs memcpy", speed(job),
                   "memcpy " + speed(base), job / base, false, 0});
    }
    const struct {
        Output output;
        const char* what;
    } many[] = {
        {Output::NotUsed, "4 MiB in 100,000 vs 1 section, NotUsed (scan alone)"},
        {Output::Ticket, "4 MiB in 100,000 vs 1 section, Ticket (spooler discards)"},
        {Output::File, "4 MiB in 100,000 vs 1 section, File (100,000 opens)"},
    };
    for (const auto& m : many) {
        if (results.get(sectionsName(m.output, kManySections), "wall_ms", job) &&
            results.get(sectionsName(m.output, 1), "wall_ms", base)) {
            table.add({m.what, milliseconds(job), "1 section " + milliseconds(base), job / base,
                       false, 1.3});
        }
    }
    const double limit = 3 * mib + 32;
    const auto peak = [&](const std::string& name, const char* what) {
        double own = 0;
        double whole = 0;
        if (results.get(name, "job_peak_MiB", own) && results.get(name, "peak_MiB", whole)) {
            char measured[48];
            std::snprintf(measured, sizeof measured, "%.0f MiB", own);
            table.add({what, measured, "3N + 32 MiB = " + std::to_string(int(limit)) + " MiB",
                       own / limit, false, 1.0});
        }
    };
    peak(kPeakFile, "Peak memory of a 256 MiB job, 1,000 File sections");
    peak(kPeakDup, "Peak memory of a 256 MiB job, one Dup Ticket of it all");
}

} // namespace bench
