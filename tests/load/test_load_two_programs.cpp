// Two programs, each with a home of its own, watch one directory: they hand jobs over under one
// work file name, which only one of them routes at a time. Every job is routed by exactly one
// of them, none is kept as failed, and both go on.
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <thread>

TEST(TwoPrograms, OneDirectoryWatchedByTwoProgramsRoutesEachJobOnce) {
    constexpr int kJobs = 2000;
    constexpr int kBatch = 250;
    load::Layout layout;
    const std::vector<load::Row> rows = {{3, layout.out, "NamedFile"}};
    layout.configure(rows);
    testsupport::TarvoInstall other;
    testsupport::writeFile(other.iniPath(), load::settingsText(layout.watched, rows));
    testsupport::RunningTarvo first(layout.install);
    testsupport::RunningTarvo second(other);

    std::vector<std::string> names;
    for (int i = 0; i < kJobs; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "job%05d", i);
        names.push_back(name);
    }
    for (int i = 0; i < kJobs; ++i) {
        const std::string& name = names[static_cast<std::size_t>(i)];
        testsupport::dropJob(layout.watched, name, "@!@3 " + name + ".txt|" + name);
        if (i % kBatch == kBatch - 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    const auto routed = [&] {
        return static_cast<int>(std::distance(std::filesystem::directory_iterator(layout.out),
                                              std::filesystem::directory_iterator()));
    };
    EXPECT_TRUE(
        testsupport::waitUntil([&] { return routed() == kJobs; }, std::chrono::seconds(120)))
        << routed() << " of " << kJobs << " routed";
    // Each job is routed once, by one of them, with one line: the line names the job, or, where
    // the other program took the work file just handed over before its program had opened it,
    // the work file.
    std::set<std::string> jobLines;
    int lines = 0;
    int workFileLines = 0;
    for (const auto* install : {&layout.install, &other}) {
        for (const std::string& line : install->logMessages()) {
            if (line.find("Processing") == std::string::npos)
                ADD_FAILURE() << line;
            ++lines;
            if (line == layout.processing("newjob")) {
                ++workFileLines;
            } else {
                jobLines.insert(line);
            }
        }
    }
    EXPECT_EQ(lines, kJobs);
    EXPECT_EQ(jobLines.size() + static_cast<std::size_t>(workFileLines),
              static_cast<std::size_t>(kJobs));
    for (const std::string& name : names) {
        jobLines.erase(layout.processing(name));
        EXPECT_EQ(testsupport::readFile(layout.out + "/" + name + ".txt"), name);
    }
    EXPECT_TRUE(jobLines.empty()) << *jobLines.begin();
    for (const auto& left : std::filesystem::directory_iterator(layout.watched)) {
        ADD_FAILURE() << "left in the watched directory: " << left.path();
    }
    EXPECT_TRUE(first.alive());
    EXPECT_TRUE(second.alive());
}
