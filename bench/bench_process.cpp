// Job processing in this process: throughput against copy baselines, the cost of many
// sections, and the peak memory of a job.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"
#include "bench/Timing.h"
#include "core/Settings.h"
#include "platform/test/RecordingSpooler.h"
#include "process/JobProcessor.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace bench {
namespace {

constexpr std::size_t kSmallJob = 4 * kMiB;
constexpr std::size_t kManySections = 100000;
constexpr std::size_t kLargeJob = 256 * kMiB;
constexpr std::size_t kLargeJobSections = 1000;
constexpr std::uint64_t kGibibyte = std::uint64_t{1} << 30;

enum class Output { File, Ticket, NotUsed };

const char* typeName(Output output) {
    return output == Output::File ? "File" : output == Output::Ticket ? "Ticket" : "NotUsed";
}

// Every row of the output map of one type: row n writes the file out<n>.bin, or prints on
// "P<n>".
core::Settings allRows(const std::string& type) {
    core::Settings settings;
    for (std::size_t row = 0; row < 9; ++row) {
        const std::string n = std::to_string(row + 1);
        settings.outputs[row] = {type == "File" ? scratch().file("out" + n + ".bin") : "P" + n,
                                 type};
    }
    return settings;
}

// Runs the job through job processing with every row of one type; only that is timed.
void processJob(benchmark::State& state, std::size_t bytes, std::size_t sections, Output output,
                platform::Spooler& spooler) {
    const std::string& master = masterJob(bytes, sections);
    const std::string work = scratch().file("newjob");
    const core::Settings settings = allRows(typeName(output));
    routing::JobProcessor processor(spooler, systemPlatform().directory(),
                                    systemPlatform().locations(), scratchLog(), unobserved());
    // One run first, untimed, so that the first timed run finds what every later run finds.
    linkJob(master, work);
    routeWork(processor, work, settings);
    Timing timing;
    for (auto _ : state) {
        linkJob(master, work);
        timing.start();
        routeWork(processor, work, settings);
        timing.stop(state);
    }
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

// A sparse job of 1 GiB: either 1,000 sections of one byte each and zeros, or one section of
// it all.
const std::string& sparseGibibyteJob(std::size_t sections) {
    static std::map<std::size_t, std::string> jobs;
    auto [it, added] = jobs.try_emplace(sections);
    if (added) {
        it->second = scratch().file("sparse-1GiB-" + std::to_string(sections));
        std::vector<std::pair<std::uint64_t, std::string>> pieces;
        for (std::size_t s = 0; s < sections; ++s) {
            pieces.emplace_back(s * (kGibibyte / sections),
                                std::string("@!@") + outputOfSection(s, sections) + "x");
        }
        pieces.emplace_back(kGibibyte - 1, "z");
        writeSparseJob(it->second, kGibibyte, pieces);
    }
    return it->second;
}

// Peak resident memory of one job, run in a child process with a new JobProcessor. The child
// resets its peak to what it inherited, so that the job's own peak, buffers included, is its
// peak less its resident memory at the start; what is resident after the job, less the same,
// is what stays: the buffers.
void peakMemory(benchmark::State& state, std::size_t sections, const std::string& type) {
    const std::string& master = sparseGibibyteJob(sections);
    const std::string work = scratch().file("newjob");
    DiscardingSpooler spooler;
    const core::Settings settings = allRows(type);
    double measured[3] = {0, 0, 0}; // at the start, peak, after
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
            // The processor's buffers come fresh from the system, not from memory that the
            // process already holds, so that they count from the start.
            mallopt(M_MMAP_THRESHOLD, 64 * 1024);
            std::ofstream("/proc/self/clear_refs") << "5";
            const double atStart = statusBytes("VmRSS");
            routing::JobProcessor processor(spooler, systemPlatform().directory(),
                                            systemPlatform().locations(), scratchLog(),
                                            unobserved());
            routeWork(processor, work, settings);
            const double result[3] = {atStart, statusBytes("VmHWM"), statusBytes("VmRSS")};
            const bool sent = ::write(channel[1], result, sizeof result) == sizeof result;
            _exit(sent && spooler.bytes > 0 ? 0 : 1);
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
    state.counters["start_MiB"] = measured[0] / kMiB;
    state.counters["peak_MiB"] = measured[1] / kMiB;
    state.counters["job_peak_MiB"] = (measured[1] - measured[0]) / kMiB;
    state.counters["kept_MiB"] = (measured[2] - measured[0]) / kMiB;
}

// A spooler that checks every document against what it must hold, byte for byte: pieces that
// are stretches of the job (read here through a descriptor of its own, 0xFF as 0x0C) or fixed
// bytes.
class CheckingSpooler final : public DocumentSink {
public:
    struct Piece {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
        // Fixed bytes instead of a stretch of the job, when not empty.
        std::string bytes;
    };

    CheckingSpooler(const std::string& job, std::vector<std::vector<Piece>> documents)
        : fd_(::open(job.c_str(), O_RDONLY)), documents_(std::move(documents)) {}
    ~CheckingSpooler() override { ::close(fd_); }
    CheckingSpooler(const CheckingSpooler&) = delete;
    CheckingSpooler& operator=(const CheckingSpooler&) = delete;

    // Every document arrived whole and exact, and no other.
    bool exact() const { return exact_ && document_ == documents_.size(); }

    void documentStarted() override {
        exact_ = exact_ && document_ < documents_.size();
        piece_ = 0;
        within_ = 0;
    }
    void received(const std::uint8_t* data, std::size_t count) override {
        while (count > 0 && exact_) {
            if (piece_ == documents_[document_].size()) {
                exact_ = false;
                return;
            }
            const Piece& p = documents_[document_][piece_];
            const std::uint64_t length = p.bytes.empty() ? p.length : p.bytes.size();
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, length - within_));
            const std::uint8_t* expected = reinterpret_cast<const std::uint8_t*>(p.bytes.data());
            if (p.bytes.empty()) {
                stretch_.resize(n);
                exact_ = ::pread(fd_, stretch_.data(), n, static_cast<off_t>(p.offset + within_)) ==
                         static_cast<ssize_t>(n);
                std::replace(stretch_.begin(), stretch_.end(), std::uint8_t{0xFF},
                             std::uint8_t{0x0C});
                expected = stretch_.data();
            } else {
                expected += within_;
            }
            exact_ = exact_ && std::memcmp(data, expected, n) == 0;
            data += n;
            count -= n;
            within_ += n;
            if (within_ == length) {
                ++piece_;
                within_ = 0;
            }
        }
    }
    void documentEnded() override {
        exact_ = exact_ && piece_ == documents_[document_].size();
        ++document_;
    }

private:
    int fd_;
    std::vector<std::vector<Piece>> documents_;
    std::vector<std::uint8_t> stretch_;
    std::size_t document_ = 0;
    std::size_t piece_ = 0;
    std::uint64_t within_ = 0;
    bool exact_ = true;
};

// Pseudo-random bytes, 0x40, 0xFF, CR and LF among them, but no "!", so that no marker forms.
std::string noise(std::size_t bytes, std::uint64_t seed) {
    std::string result(bytes, ' ');
    for (char& c : result) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        c = static_cast<char>(seed >> 56);
        c = c == '!' ? '"' : c;
    }
    return result;
}

// A sparse job of 3 GiB with a "Report" section from its start to 2.5 GiB and a "Dup Ticket"
// section from there to its end, noise at its ends and across 2 GiB: every byte of both
// documents is checked, and the job is removed with the run.
void hugeJob(benchmark::State& state) {
    constexpr std::uint64_t kLength = 3 * kGibibyte;
    constexpr std::uint64_t kSecond = 5 * kGibibyte / 2;
    const std::string work = scratch().file("newjob");
    writeSparseJob(work, kLength,
                   {{0, "@!@1" + noise(kMiB, 1)},
                    {2 * kGibibyte - kMiB / 2, noise(kMiB, 2)},
                    {kSecond - 1, "y@!@2" + noise(kMiB, 3)},
                    {kLength - kMiB, noise(kMiB - 1, 4) + "z"}});
    const std::uint64_t first = kSecond - 4;
    const std::uint64_t second = kLength - kSecond - 4;
    CheckingSpooler spooler(work, {{{4, first, ""}},
                                   {{kSecond + 4, second, ""},
                                    {0, 0, "\r\n\r\n\r\n\r\n"},
                                    {kSecond + 4, second, ""},
                                    {0, 0, "\x0C"}}});
    core::Settings settings;
    settings.outputs[0] = {"P1", "Report"};
    settings.outputs[1] = {"P2", "Dup Ticket"};
    routing::JobProcessor processor(spooler, systemPlatform().directory(),
                                    systemPlatform().locations(), scratchLog(), unobserved());
    Timing timing;
    for (auto _ : state) {
        timing.start();
        routeWork(processor, work, settings);
        timing.stop(state);
    }
    timing.report(state);
    state.counters["exact"] = spooler.exact() ? 1 : 0;
}

std::string sectionsName(Output output, std::size_t sections) {
    return std::string("sections_4MiB/") + typeName(output) + "/" + std::to_string(sections);
}

const std::string kLargeFile = "job_256MiB_1000_sections/File";
const std::string kLargeRecording = "job_256MiB_1000_sections/SpoolerDouble";
const std::string kCopy = "baseline_read_write_copy_256MiB";
const std::string kMemcpy = "baseline_memcpy_256MiB";
const std::string kPeakSections = "peak_memory_1GiB/Ticket_1000_sections";
const std::string kPeakDup = "peak_memory_1GiB/DupTicket_whole_job";
const std::string kHuge = "job_3GiB_sparse/Report_and_DupTicket";

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
    benchmark::RegisterBenchmark(kPeakSections.c_str(), [](benchmark::State& state) {
        peakMemory(state, kLargeJobSections, "Ticket");
    })->Iterations(1);
    benchmark::RegisterBenchmark(kPeakDup.c_str(), [](benchmark::State& state) {
        peakMemory(state, 1, "Dup Ticket");
    })->Iterations(1);
    timed(benchmark::RegisterBenchmark(kHuge.c_str(), hugeJob), 1);
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
        double goal;
    } many[] = {
        {Output::NotUsed, "4 MiB in 100,000 vs 1 section, NotUsed (scan alone)", 1.3},
        {Output::Ticket, "4 MiB in 100,000 vs 1 section, Ticket (spooler discards)", 2.0},
        {Output::File, "4 MiB in 100,000 vs 1 section, File (100,000 opens)", 1.3},
    };
    for (const auto& m : many) {
        if (results.get(sectionsName(m.output, kManySections), "wall_ms", job) &&
            results.get(sectionsName(m.output, 1), "wall_ms", base)) {
            table.add({m.what, milliseconds(job), "1 section " + milliseconds(base), job / base,
                       false, m.goal});
        }
    }
    const double limit = 16;
    const auto peak = [&](const std::string& name, const char* what) {
        double own = 0;
        if (results.get(name, "job_peak_MiB", own)) {
            char measured[48];
            std::snprintf(measured, sizeof measured, "%.1f MiB", own);
            table.add({what, measured, "16 MiB", own / limit, false, 1.0});
        }
    };
    peak(kPeakSections, "Peak memory growth, 1 GiB job, 1,000 Ticket sections");
    peak(kPeakDup, "Peak memory growth, 1 GiB job, one Dup Ticket of it all");
    double kept = 0;
    if (results.get(kPeakDup, "kept_MiB", kept)) {
        char measured[48];
        std::snprintf(measured, sizeof measured, "%.1f MiB", kept);
        table.add(
            {"Memory kept after that job", measured, "its buffers: 1 MiB + 64 KiB", 0, false, 0});
    }
    double exact = 0;
    if (results.get(kHuge, "exact", exact) && results.get(kHuge, "wall_ms", job)) {
        table.add({"3 GiB job (sparse): 2 sections, every byte checked",
                   exact == 1 ? "routed, exact" : "NOT routed exactly", milliseconds(job), 0, false,
                   0});
    }
}

} // namespace bench
