// Jobs copied into the watched directory with rsync, in batches, while the program takes them:
// rsync writes each file under a temporary name beginning with "." and renames it once
// complete. Every job is routed exactly once, in order, and nothing stays behind.
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace {

// 400 jobs take about 40 seconds at one job a tick; TARVO_RSYNC_JOBS sets another number
// for a longer run by hand.
int jobCount() {
    const char* count = std::getenv("TARVO_RSYNC_JOBS");
    return count != nullptr ? std::atoi(count) : 400;
}

constexpr int kBatch = 100;

} // namespace

TEST(Rsync, JobsCopiedInBatchesAreEachRoutedOnce) {
    ASSERT_EQ(std::system("rsync --version > /dev/null"), 0) << "rsync is missing: make deps";
    load::Layout layout;
    layout.configure({{3, layout.out, "NamedFile"}});
    testsupport::RunningTarvo tarvo(layout.install);

    const int jobs = jobCount();
    std::vector<std::string> expected;
    for (int first = 0; first < jobs; first += kBatch) {
        const std::string batch = layout.install.dir().file("batch");
        std::filesystem::remove_all(batch);
        std::filesystem::create_directory(batch);
        for (int i = first; i < std::min(jobs, first + kBatch); ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "job%05d", i);
            testsupport::writeFile(batch + "/" + name,
                                   "@!@3 " + std::string(name) + ".txt|" + name + "\r\n");
            expected.push_back(layout.processing(name));
        }
        const std::string rsync = "rsync -a '" + batch + "/' '" + layout.watched + "/'";
        ASSERT_EQ(std::system(rsync.c_str()), 0) << rsync;
    }

    // Done when the last job is routed (they go in order), or as soon as a failure is logged.
    const std::string last = expected.back().substr(expected.back().rfind('/') + 1);
    EXPECT_TRUE(testsupport::waitUntil(
        [&] {
            return testsupport::readFile(layout.out + "/" + last + ".txt") == last ||
                   testsupport::readFile(layout.install.logPath()).find(" - frmMain::") !=
                       std::string::npos;
        },
        std::chrono::seconds(60 + jobs / 5)))
        << layout.log().size() << " lines in the log";
    EXPECT_EQ(layout.log(), expected);
    int routed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(layout.out)) {
        const std::string name = entry.path().stem().string();
        EXPECT_EQ(testsupport::readFile(entry.path().string()), name);
        ++routed;
    }
    EXPECT_EQ(routed, jobs);
    EXPECT_TRUE(std::filesystem::is_empty(layout.watched));
    EXPECT_TRUE(tarvo.alive());
}
