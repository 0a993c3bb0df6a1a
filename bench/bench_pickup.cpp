// Pick-up by the whole program: how soon a job is taken once its writer has closed it, how fast
// a burst of jobs goes through, and what the program costs while it waits. The real executable
// runs from an application directory of its own on Qt's offscreen platform, its nine rows
// writing the files out/out<n>.bin.
#include "bench/BenchJobs.h"
#include "bench/BenchProgram.h"
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
#include <map>
#include <poll.h>
#include <random>
#include <stdexcept>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace bench {
namespace {

constexpr int kLatencyJobs = 100;
constexpr int kBurstJobs = 1000;
constexpr int kBacklogJobs = 10000;
constexpr int kLargeBacklogJobs = 20000;
constexpr double kIdleSeconds = 10;
constexpr double kTimeoutSeconds = 30;
// Any of the bursts, the largest included, has five minutes: 67 jobs a second at least.
constexpr double kBurstTimeoutSeconds = 300;
constexpr double kLatencyGoalMs = 5;
constexpr double kBurstGoalPerSecond = 500;
constexpr double kBacklogGoalPerSecond = 1500;
// The large backlog goes at the speed of the 1,000-job burst, but for the noise of a shared
// machine.
constexpr double kLargeBacklogGoalShare = 0.90;
constexpr double kIdleGoalShare = 0.0002;
constexpr double kWakeUpsGoalPerSecond = 1;

// From the close of a small job written into the watched directory to the close of its "File"
// output with the job's bytes. Jobs come at every phase of the monitor's 100 ms timer.
void pickUpLatency(benchmark::State& state) {
    Program program;
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
        if (!program.closes.waitForContent(program.outFile(1), data, kTimeoutSeconds)) {
            state.SkipWithError("a job was not routed in time");
            return;
        }
        latencies.push_back(nowSeconds() - closed);
        state.SetIterationTime(latencies.back());
    }
    checkLog(state, program);
    state.counters["median_ms"] = median(latencies) * 1e3;
}

// Small jobs, written in no particular order while the program is stopped, all there when it
// goes on: from then to the close of the last one's output. Every job must be taken once, in name
// order. Three changes a job: from about 5,000 jobs on they overflow the system's queue of 16,384
// (its default), and the program finds the jobs by listing the directory. Each job writes over
// the same "File" output, or, named, a new file of its own, which leaves out the file system's
// cost of emptying and rewriting one file (on ext4 it writes the data out at each close).
void jobsAtOnce(benchmark::State& state, int jobs, bool named) {
    Program program;
    if (!program.started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    // Of one length, so that name order is number order.
    std::vector<std::string> names;
    for (int i = 0; i < jobs; ++i) {
        names.push_back("burst-" + std::to_string(100000 + i));
    }
    std::vector<std::string> written = names;
    std::shuffle(written.begin(), written.end(), std::mt19937(20260305));
    for (std::string& name : written) {
        name = program.watched + "/" + name;
    }
    double seconds = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        program.pause(true);
        for (const std::string& path : written) {
            const std::string name = path.substr(program.watched.size() + 1);
            writeJobFile(path, named ? "@!@" + std::to_string(kNamedRow) + " " + name + "|" + name
                                     : "@!@1" + name);
        }
        const double start = nowSeconds();
        const double cpuStart = program.cpuSeconds();
        program.pause(false);
        const std::string last = named ? program.out + "/" + names.back() : program.outFile(1);
        if (!program.closes.waitForContent(last, names.back(), kBurstTimeoutSeconds)) {
            state.SkipWithError("the jobs were not routed in time");
            return;
        }
        seconds = nowSeconds() - start;
        cpuSeconds = program.cpuSeconds() - cpuStart;
        state.SetIterationTime(seconds);
    }
    std::string unexpected;
    std::vector<std::string> taken = program.jobsTaken(unexpected);
    const auto wrong = std::mismatch(taken.begin(), taken.end(), names.begin(), names.end());
    if (wrong.first != taken.end() || wrong.second != names.end() || !unexpected.empty()) {
        const std::string where = wrong.first == taken.end() ? "(none)" : *wrong.first;
        state.SkipWithError(("jobs not taken once each in name order from " + where +
                             "; unexpected log lines: " + unexpected)
                                .c_str());
        return;
    }
    state.counters["jobs_per_s"] = jobs / seconds;
    // The program's own CPU time, which other work on the machine does not lengthen.
    state.counters["cpu_us_per_job"] = cpuSeconds / jobs * 1e6;
}

// The context switches of every thread of the process so far, by thread: each is a wake-up, or
// the end of one when it was cut short.
std::map<std::string, long> contextSwitches(pid_t pid) {
    std::map<std::string, long> switches;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        std::ifstream status(task.path() / "status");
        long total = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                total += std::stol(line.substr(line.find(':') + 1));
            }
        }
        switches[task.path().filename()] = total;
    }
    return switches;
}

// The program's CPU time while its watched directory stays empty, as a share of one core, and
// its wake-ups: the context switches of its threads over the same time. A thread that ended
// meanwhile is not counted.
void idle(benchmark::State& state) {
    Program program;
    if (!program.started()) {
        state.SkipWithError("the program did not start");
        return;
    }
    // The job that told that it had started is behind it.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double share = 0;
    double wakeUps = 0;
    for (auto _ : state) {
        const std::map<std::string, long> switchesBefore = contextSwitches(program.pid());
        const double cpuBefore = program.cpuSeconds();
        const double start = nowSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(kIdleSeconds));
        const double elapsed = nowSeconds() - start;
        share = (program.cpuSeconds() - cpuBefore) / elapsed;
        long switches = 0;
        for (const auto& [task, count] : contextSwitches(program.pid())) {
            const auto before = switchesBefore.find(task);
            switches += count - (before == switchesBefore.end() ? 0 : before->second);
        }
        wakeUps = static_cast<double>(switches) / elapsed;
        state.SetIterationTime(elapsed);
    }
    checkLog(state, program);
    state.counters["core_share"] = share;
    state.counters["wake_ups_per_s"] = wakeUps;
}

const std::string kLatency = "pickup/latency_small_job";
const std::string kBurst = "pickup/burst_1000_small_jobs";
const std::string kNamedBurst = "pickup/burst_1000_small_jobs_named";
const std::string kBacklog = "pickup/backlog_10000_small_jobs";
const std::string kLargeBacklog = "pickup/backlog_20000_small_jobs";
const std::string kIdle = "pickup/idle_empty_directory";

} // namespace

void registerPickupBenchmarks() {
    benchmark::RegisterBenchmark(kLatency.c_str(), pickUpLatency)
        ->Iterations(kLatencyJobs)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    const struct {
        const std::string& name;
        int jobs;
        bool named;
    } runs[] = {{kBurst, kBurstJobs, false},
                {kNamedBurst, kBurstJobs, true},
                {kBacklog, kBacklogJobs, true},
                {kLargeBacklog, kLargeBacklogJobs, true}};
    for (const auto& run : runs) {
        benchmark::RegisterBenchmark(run.name.c_str(),
                                     [jobs = run.jobs, named = run.named](benchmark::State& state) {
                                         jobsAtOnce(state, jobs, named);
                                     })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
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
    double burstRate = 0;
    bool burstRun = results.get(kBurst, "jobs_per_s", burstRate);
    const auto rate = [](double perSecond) {
        char text[32];
        std::snprintf(text, sizeof text, "%.0f jobs/s", perSecond);
        return std::string(text);
    };
    if (burstRun) {
        table.add({"Burst of 1,000 small jobs to a File output, in name order", rate(burstRate),
                   "500 jobs/s", kBurstGoalPerSecond / burstRate, false, 1.0});
    }
    // The backlogs, each job a named file of its own, against the burst of the same run that is
    // named so too, when it was run.
    const bool namedRun = results.get(kNamedBurst, "jobs_per_s", burstRate);
    const std::string burstBaseline =
        namedRun ? "named 1,000-job burst " + rate(burstRate) : "named burst: not run";
    burstRun = namedRun;
    if (results.get(kBacklog, "jobs_per_s", value)) {
        table.add({.what = "10,000 small jobs present at start, named files, in name order",
                   .measured = rate(value),
                   .baseline = burstBaseline,
                   .ratio = burstRun ? value / burstRate : 0,
                   .goalText = ">= 1,500 jobs/s",
                   .goalMet = value >= kBacklogGoalPerSecond});
    }
    if (results.get(kLargeBacklog, "jobs_per_s", value)) {
        table.add({"Backlog of 20,000 small jobs, named files, in name order", rate(value),
                   burstBaseline, burstRun ? value / burstRate : 0, false,
                   burstRun ? kLargeBacklogGoalShare : 0, true});
    }
    if (results.get(kIdle, "core_share", value)) {
        char measured[32];
        std::snprintf(measured, sizeof measured, "%.1f us CPU/s", value * 1e6);
        table.add({"Idle program, empty watched directory", measured, "one core", value, true,
                   kIdleGoalShare});
    }
    if (results.get(kIdle, "wake_ups_per_s", value)) {
        char measured[32];
        std::snprintf(measured, sizeof measured, "%.2f wake-ups/s", value);
        table.add({"  its wake-ups: context switches of all its threads", measured, "1 wake-up/s",
                   value / kWakeUpsGoalPerSecond, false, 1.0});
    }
}

} // namespace bench
