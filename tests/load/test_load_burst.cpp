// A burst of jobs larger than the queue of the watched directory's changes: while the program is
// stopped, more jobs arrive than the queue holds, so that changes are lost. Once it goes on,
// every job is routed once, in byte order of the names, and nothing stays behind.
#include "tests/load/LoadSupport.h"
#include "tests/support/posix/ChangesQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/wait.h>

TEST(Burst, MoreJobsThanTheChangesQueueHoldsAreEachRoutedOnceInNameOrder) {
    // Each job written in place is made, opened and closed: three changes.
    const int jobs = testsupport::maxQueuedEvents() / 3 + 100;
    if (jobs > 20000) {
        GTEST_SKIP() << "the queue of changes holds too many to overflow here";
    }
    load::Layout layout;
    layout.configure({{1, layout.out + "/last.txt", "File"}});
    testsupport::RunningTarvo tarvo(layout.install);
    testsupport::dropJob(layout.watched, "0 started", "@!@1started");
    ASSERT_TRUE(load::waitForContent(layout.out + "/last.txt", "started"));

    std::vector<std::string> names;
    for (int i = 0; i < jobs; ++i) {
        names.push_back("job-" + std::to_string(100000 + i));
    }
    std::vector<std::string> written = names;
    std::shuffle(written.begin(), written.end(), std::mt19937(20260305));
    ASSERT_EQ(::kill(tarvo.pid(), SIGSTOP), 0);
    ASSERT_EQ(::waitpid(tarvo.pid(), nullptr, WUNTRACED), tarvo.pid());
    for (const std::string& name : written) {
        testsupport::writeFile(layout.watched + "/" + name, "@!@1" + name);
    }
    ASSERT_EQ(::kill(tarvo.pid(), SIGCONT), 0);

    ASSERT_TRUE(
        load::waitForContent(layout.out + "/last.txt", names.back(), std::chrono::seconds(240)))
        << layout.log().size() << " jobs taken";
    std::vector<std::string> expected{layout.processing("0 started")};
    for (const std::string& name : names) {
        expected.push_back(layout.processing(name));
    }
    const std::vector<std::string> log = layout.log();
    const auto wrong = std::mismatch(log.begin(), log.end(), expected.begin(), expected.end());
    EXPECT_TRUE(wrong.first == log.end() && wrong.second == expected.end())
        << "line " << wrong.first - log.begin() << " of " << log.size() << ": "
        << (wrong.first == log.end() ? "(none)" : *wrong.first);
    EXPECT_TRUE(std::filesystem::is_empty(layout.watched));
    EXPECT_TRUE(tarvo.alive());
}
