#include "bench/Figures.h"

#include <cstdio>

namespace bench {

void Results::add(const std::string& name, const std::map<std::string, double>& counters) {
    runs_[name] = counters;
}

bool Results::get(const std::string& name, const std::string& counter, double& value) const {
    const auto run = runs_.find(name);
    if (run == runs_.end()) {
        return false;
    }
    const auto found = run->second.find(counter);
    if (found == run->second.end()) {
        return false;
    }
    value = found->second;
    return true;
}

void CollectingReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.error_occurred) {
            continue;
        }
        std::map<std::string, double> counters;
        for (const auto& [name, counter] : run.counters) {
            counters[name] = counter.value;
        }
        results_.add(run.run_name.function_name, counters);
    }
    ConsoleReporter::ReportRuns(runs);
}

namespace {

std::string ratioText(double ratio, bool percent) {
    char text[32];
    if (percent) {
        std::snprintf(text, sizeof text, "%.3f %%", ratio * 100);
    } else {
        std::snprintf(text, sizeof text, "%.2f x", ratio);
    }
    return text;
}

} // namespace

void Table::print() const {
    const char* format = "| %-58s | %-18s | %-34s | %-10s | %-15s | %-4s |\n";
    std::printf("\n");
    std::printf(format, "Figure", "Measured", "Baseline (same run)", "Ratio", "Goal", "Met");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(60, '-').c_str(), std::string(20, '-').c_str(),
                std::string(36, '-').c_str(), std::string(12, '-').c_str(),
                std::string(17, '-').c_str(), std::string(6, '-').c_str());
    for (const Figure& f : figures_) {
        std::string goal = f.goalText;
        const char* met = goal.empty() ? "" : f.goalMet ? "yes" : "NO";
        if (goal.empty() && f.goal > 0) {
            goal = (f.atLeast ? ">= " : "<= ") + ratioText(f.goal, f.percent);
            met = (f.atLeast ? f.ratio >= f.goal : f.ratio <= f.goal) ? "yes" : "NO";
        }
        // A ratio held against a goal is shown even when it is zero.
        const std::string ratio = f.ratio > 0 || f.goal > 0 ? ratioText(f.ratio, f.percent) : "";
        std::printf(format, f.what.c_str(), f.measured.c_str(), f.baseline.c_str(), ratio.c_str(),
                    goal.c_str(), met);
    }
}

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, ms < 10 ? "%.3f ms" : ms < 100 ? "%.1f ms" : "%.0f ms", ms);
    return text;
}

} // namespace bench
