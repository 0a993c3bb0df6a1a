// The follower of the spool jobs: the CPU time of one round over 1,000 jobs outstanding on four
// printers, against a spooler that answers at once that every job waits, as a share of one core
// at one round a second.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"
#include "core/Settings.h"
#include "process/SpoolFollower.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace bench {
namespace {

constexpr std::size_t kJobs = 1000;
constexpr std::size_t kPrinters = 4;
constexpr double kRoundMs = 1000;
const char* const kRounds = "follower/1000 jobs on 4 printers";

// Every job waits, in a printer that is well.
class WaitingSpooler final : public DocumentSink {
public:
    void received(const std::uint8_t*, std::size_t) override {}
    platform::PrinterReport askPrinter(const std::string&,
                                       const std::vector<platform::SpoolJobId>& jobs) override {
        platform::PrinterReport report;
        report.jobs.assign(jobs.size(), {platform::SpoolJobState::Waiting, {}});
        return report;
    }
};

void followerRounds(benchmark::State& state) {
    const std::string record = scratch().file(".printjobs");
    core::Settings settings;
    WaitingSpooler spooler;
    platform::Platform& system = systemPlatform();
    routing::SpoolFollower follower(spooler, system.directory(), system.clock(), scratchLog(),
                                    settings, unobserved(), record);
    for (std::size_t i = 0; i < kJobs; ++i) {
        follower.follow({"Printer " + std::to_string(i % kPrinters),
                         static_cast<platform::SpoolJobId>(i + 1), "job-" + std::to_string(i), 1, 1,
                         OutputType::Ticket, "", 0});
    }
    Timing timing;
    for (auto _ : state) {
        timing.start();
        follower.round();
        timing.stop(state);
    }
    timing.report(state);
    if (follower.outstanding() != kJobs) {
        state.SkipWithError("a job ended: the figure is not that of jobs waiting");
    }
}

} // namespace

void registerFollowerBenchmarks() {
    benchmark::RegisterBenchmark(kRounds, followerRounds)
        ->Iterations(200)
        ->Unit(benchmark::kMicrosecond)
        ->UseManualTime();
}

void addFollowerFigures(const Results& results, Table& table) {
    double cpuMs = 0;
    if (results.get(kRounds, "mean_cpu_ms", cpuMs)) {
        char measured[48];
        std::snprintf(measured, sizeof measured, "%.1f us CPU/round", cpuMs * 1e3);
        table.add({"Spool job follower, 1,000 jobs waiting on 4 printers", measured,
                   "one core, 1 round/s: 1000 ms/round", cpuMs / kRoundMs, true, 0.01});
    }
}

} // namespace bench
