// Speed and memory figures of Tarvo, each against a baseline measured in the same run, on the
// same file system; printed as one table after the runs.
#include "bench/BenchJobs.h"
#include "bench/Suites.h"

#include <benchmark/benchmark.h>

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::registerProcessBenchmarks();
    bench::registerMonitorBenchmarks();
    bench::registerProgramBenchmarks();
    bench::registerPickupBenchmarks();
    bench::registerFollowerBenchmarks();

    bench::Results results;
    bench::CollectingReporter reporter(results);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    bench::Table table;
    bench::addProcessFigures(results, table);
    bench::addMonitorFigures(results, table);
    bench::addProgramFigures(results, table);
    bench::addPickupFigures(results, table);
    bench::addFollowerFigures(results, table);
    table.print();
    benchmark::Shutdown();
    return 0;
}
