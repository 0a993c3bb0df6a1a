#pragma once

#include <benchmark/benchmark.h>

#include <vector>

namespace bench {

// CPU time of this process so far, user and system, in seconds.
double processCpuSeconds();

// Monotonic time in seconds.
double nowSeconds();

// The median of the values (0 when there are none).
double median(std::vector<double> values);

// Times the measured part of each iteration, elapsed and CPU, and reports the fastest as the
// counters "wall_ms" and "cpu_ms": the work is the same in every iteration, and other
// processes of a shared machine only ever add to its time. "mean_cpu_ms" is the mean, for
// figures that are a share of the machine over time.
class Timing {
public:
    void start();
    // Ends the iteration's measured part and gives its elapsed time to the benchmark.
    void stop(benchmark::State& state);
    void report(benchmark::State& state) const;

private:
    double wallStart_ = 0;
    double cpuStart_ = 0;
    std::vector<double> wall_;
    std::vector<double> cpu_;
};

} // namespace bench
