#include "bench/Timing.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <numeric>

namespace bench {

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double nowSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

void Timing::start() {
    wallStart_ = nowSeconds();
    cpuStart_ = processCpuSeconds();
}

void Timing::stop(benchmark::State& state) {
    const double cpu = processCpuSeconds() - cpuStart_;
    const double wall = nowSeconds() - wallStart_;
    wall_.push_back(wall);
    cpu_.push_back(cpu);
    state.SetIterationTime(wall);
}

void Timing::report(benchmark::State& state) const {
    if (wall_.empty()) {
        return;
    }
    state.counters["wall_ms"] = *std::min_element(wall_.begin(), wall_.end()) * 1e3;
    state.counters["cpu_ms"] = *std::min_element(cpu_.begin(), cpu_.end()) * 1e3;
    state.counters["mean_cpu_ms"] =
        std::accumulate(cpu_.begin(), cpu_.end(), 0.0) / static_cast<double>(cpu_.size()) * 1e3;
}

} // namespace bench
