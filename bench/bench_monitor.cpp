// The idle monitor: the CPU time of one tick of the monitor when there is nothing to take, as a
// share of one core at ten ticks a second.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"
#include "core/Settings.h"
#include "monitor/Monitor.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace bench {
namespace {

constexpr std::size_t kWaitingFiles = 10000;
constexpr std::size_t kUnknownFiles = 5000;
constexpr double kTickMs = 100;
// Ticks by the clock for 4 s: a file of unknown state is taken once unchanged for 5 s.
constexpr int kUnknownTicks = 40;

// A tray window that does nothing with the tooltip.
class IdleHost final : public monitor::MonitorHost {
public:
    void setTrayTooltip(const std::string&) override {}
};

// The system's directory operations, but no file tells whether another process has it open, as
// another user's files do not.
class UnknownUseDirectory final : public platform::WatchedDirectory {
public:
    explicit UnknownUseDirectory(platform::WatchedDirectory& system) : system_(system) {}

    void listJobNames(const std::string& directory, std::vector<std::string>& names) override {
        system_.listJobNames(directory, names);
    }
    platform::EntryKind kind(const std::string& path) override { return system_.kind(path); }
    void checkReadable(const std::string& path) override { system_.checkReadable(path); }
    void checkWritable(const std::string& directory) override { system_.checkWritable(directory); }
    platform::FileIdentity identity(const std::string& path) override {
        return system_.identity(path);
    }
    platform::FileUse fileUse(const std::string&) override { return platform::FileUse::Unknown; }
    void renameFile(const std::string& source, const std::string& destination) override {
        system_.renameFile(source, destination);
    }
    std::string moveToFailed(const std::string& path, const std::string& name) override {
        return system_.moveToFailed(path, name);
    }
    std::uint64_t failedSize(const std::string& path) override { return system_.failedSize(path); }
    std::unique_ptr<platform::FailedFile> createInFailed(const std::string& path,
                                                         const std::string& name) override {
        return system_.createInFailed(path, name);
    }

private:
    platform::WatchedDirectory& system_;
};

// The system's platform with those directory operations.
class UnknownUsePlatform final : public platform::Platform {
public:
    explicit UnknownUsePlatform(platform::Platform& system)
        : system_(system), directory_(system.directory()) {}

    platform::Spooler& spooler() override { return system_.spooler(); }
    platform::WatchedDirectory& directory() override { return directory_; }
    const platform::Clock& clock() const override { return system_.clock(); }
    const platform::Locations& locations() const override { return system_.locations(); }
    std::unique_ptr<platform::DirectoryChanges> followChanges(const std::string& path) override {
        return system_.followChanges(path);
    }

private:
    platform::Platform& system_;
    UnknownUseDirectory directory_;
};

// A child process that holds a file open until it is ended.
class HeldOpen {
public:
    explicit HeldOpen(const std::string& path) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT, 0644);
            const char done = fd >= 0 ? 1 : 0;
            if (::write(ready[1], &done, 1) == 1) {
                ::pause();
            }
            _exit(0);
        }
        ::close(ready[1]);
        char done = 0;
        held_ = ::read(ready[0], &done, 1) == 1 && done == 1;
        ::close(ready[0]);
    }
    ~HeldOpen() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

    bool held() const { return held_; }

private:
    pid_t pid_ = -1;
    bool held_ = false;
};

std::size_t fileCount(const std::string& directory) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++count;
    }
    return count;
}

void idleTicks(benchmark::State& state, std::size_t waitingFiles) {
    const std::string watched = scratch().file("watched-" + std::to_string(waitingFiles));
    std::filesystem::create_directory(watched);
    core::Settings settings;
    settings.monitorDirectory = watched;
    {
        // First by name, held open by another process: nothing behind it may be taken.
        std::unique_ptr<HeldOpen> holder;
        if (waitingFiles > 0) {
            holder = std::make_unique<HeldOpen>(watched + "/a-held");
            char name[32];
            for (std::size_t i = 0; i < waitingFiles; ++i) {
                std::snprintf(name, sizeof name, "/job-%05zu", i);
                ::close(::open((watched + name).c_str(), O_WRONLY | O_CREAT, 0644));
            }
        }
        IdleHost host;
        monitor::Monitor monitor(host, settings, watched, systemPlatform(), scratchLog(),
                                 unobserved());
        Timing timing;
        for (auto _ : state) {
            timing.start();
            monitor.tick();
            timing.stop(state);
        }
        timing.report(state);
        const std::size_t expected = waitingFiles > 0 ? waitingFiles + 1 : 0;
        if ((holder && !holder->held()) || fileCount(watched) != expected) {
            state.SkipWithError("a file was taken: the figure is not that of an idle monitor");
        }
    }
    std::filesystem::remove_all(watched);
}

// Files that no process holds but whose use cannot be told, for as long as none of them may be
// taken yet (4 s of the 5 s): first ticked when the monitor asks, as the program's event loop
// ticks it where the directory's changes are reported, then by a fresh monitor ten times a
// second, as where they are not. Every file must still be there afterwards.
void unknownUseTicks(benchmark::State& state) {
    const std::string watched = scratch().file("watched-unknown");
    std::filesystem::create_directory(watched);
    char name[32];
    for (std::size_t i = 0; i < kUnknownFiles; ++i) {
        std::snprintf(name, sizeof name, "/job-%05zu", i);
        ::close(::open((watched + name).c_str(), O_WRONLY | O_CREAT, 0644));
    }
    core::Settings settings;
    settings.monitorDirectory = watched;
    UnknownUsePlatform platform(systemPlatform());
    IdleHost host;
    const auto window = std::chrono::milliseconds(100) * kUnknownTicks;
    {
        monitor::Monitor monitor(host, settings, watched, platform, scratchLog(), unobserved());
        const auto start = std::chrono::steady_clock::now();
        const double cpuBefore = processCpuSeconds();
        int ticks = 0;
        for (auto due = start; due < start + window;) {
            std::this_thread::sleep_until(due);
            const monitor::NextTick next = monitor.tick();
            ++ticks;
            due = next ? std::chrono::steady_clock::now() + *next : start + window;
        }
        std::this_thread::sleep_until(start + window);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        state.counters["asked_share"] = (processCpuSeconds() - cpuBefore) / elapsed.count();
        state.counters["asked_ticks"] = ticks;
    }
    {
        monitor::Monitor monitor(host, settings, watched, platform, scratchLog(), unobserved());
        Timing timing;
        const auto start = std::chrono::steady_clock::now();
        int ticks = 0;
        for (auto _ : state) {
            std::this_thread::sleep_until(start + ticks++ * std::chrono::milliseconds(100));
            timing.start();
            monitor.tick();
            timing.stop(state);
        }
        timing.report(state);
    }
    if (fileCount(watched) != kUnknownFiles) {
        state.SkipWithError("a file was taken: the figure is not that of an idle monitor");
    }
    std::filesystem::remove_all(watched);
}

const std::string kEmpty = "idle_monitor_tick/empty";
const std::string kWaiting = "idle_monitor_tick/10000_files_behind_one_held_open";
const std::string kUnknown = "idle_monitor_tick/5000_files_of_unknown_use";

} // namespace

void registerMonitorBenchmarks() {
    benchmark::RegisterBenchmark(kEmpty.c_str(),
                                 [](benchmark::State& state) { idleTicks(state, 0); })
        ->Iterations(20000)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(kWaiting.c_str(),
                                 [](benchmark::State& state) { idleTicks(state, kWaitingFiles); })
        ->Iterations(300)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(kUnknown.c_str(), unknownUseTicks)
        ->Iterations(kUnknownTicks)
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

void addMonitorFigures(const Results& results, Table& table) {
    const auto add = [&](const std::string& name, const char* what, double goal) {
        double cpuMs = 0;
        if (results.get(name, "mean_cpu_ms", cpuMs)) {
            char measured[48];
            std::snprintf(measured, sizeof measured, "%.1f us CPU/tick", cpuMs * 1e3);
            table.add(
                {what, measured, "one core, 10 ticks/s: 100 ms/tick", cpuMs / kTickMs, true, goal});
        }
    };
    add(kEmpty, "Idle monitor, empty watched directory", 0.002);
    add(kWaiting, "Idle monitor, 10,000 files behind one held open", 0.05);
    double share = 0;
    double ticks = 0;
    if (results.get(kUnknown, "asked_share", share) &&
        results.get(kUnknown, "asked_ticks", ticks)) {
        char measured[48];
        std::snprintf(measured, sizeof measured, "%.0f ticks in 4 s", ticks);
        table.add({"Idle monitor, 5,000 files of unknown use, ticked when it asks", measured,
                   "one core", share, true, 0.01});
    }
    add(kUnknown, "  the same, ticked 10 times a second (changes not reported)", 0);
}

} // namespace bench
