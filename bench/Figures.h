#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

// The counters that each benchmark run left, by the benchmark's name.
class Results {
public:
    void add(const std::string& name, const std::map<std::string, double>& counters);
    // The counter of the named run; false when the run was not made (filtered out, skipped).
    bool get(const std::string& name, const std::string& counter, double& value) const;

private:
    std::map<std::string, std::map<std::string, double>> runs_;
};

// Prints the runs as the console reporter does and keeps their counters.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    explicit CollectingReporter(Results& results) : results_(results) {}
    void ReportRuns(const std::vector<Run>& runs) override;

private:
    Results& results_;
};

// One line of the table: a figure, its baseline from the same run, their ratio and the goal.
struct Figure {
    std::string what;
    std::string measured;
    std::string baseline;
    double ratio = 0;
    // Shown as a percentage instead of a factor.
    bool percent = false;
    // The ratio that must not be exceeded; 0 for a figure that has no goal.
    double goal = 0;
    // The goal is instead the ratio that must at least be reached.
    bool atLeast = false;
    // A goal in other terms than the ratio (an absolute one), shown in place of goal when not
    // empty, and whether the figure meets it.
    std::string goalText{};
    bool goalMet = false;
};

class Table {
public:
    void add(Figure figure) { figures_.push_back(std::move(figure)); }
    void print() const;

private:
    std::vector<Figure> figures_;
};

// "12.3 ms" and the like, with a precision that suits the value.
std::string milliseconds(double ms);

} // namespace bench
