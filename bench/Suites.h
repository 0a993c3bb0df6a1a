#pragma once

#include "bench/Figures.h"

// The benchmark suites: each registers its benchmarks, then adds its figures to the table from
// what the runs left.
namespace bench {

void registerProcessBenchmarks();
void addProcessFigures(const Results& results, Table& table);

void registerMonitorBenchmarks();
void addMonitorFigures(const Results& results, Table& table);

void registerProgramBenchmarks();
void addProgramFigures(const Results& results, Table& table);

void registerPickupBenchmarks();
void addPickupFigures(const Results& results, Table& table);

void registerFollowerBenchmarks();
void addFollowerFigures(const Results& results, Table& table);

} // namespace bench
