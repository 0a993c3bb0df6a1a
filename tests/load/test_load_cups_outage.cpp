// The print scheduler stops while the program runs and comes back later. This test runs a
// scheduler of its own, so that stopping it disturbs no other test.
#include "tests/load/LoadSupport.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

void scheduler(const std::string& action) {
    const std::string command =
        std::string("sh '") + TARVO_CUPS_SCRIPT + "' " + action + " '" + TARVO_CUPS_DIR + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

struct OwnScheduler {
    OwnScheduler() { scheduler("start"); }
    ~OwnScheduler() { scheduler("stop"); }
};

} // namespace

TEST(SchedulerOutage, SectionsForItsPrintersAreLoggedAndPrintingResumesWhenItIsBack) {
    OwnScheduler running;
    cupstest::CaptureQueue queue("tarvo_outage");
    load::Layout layout;
    layout.configure({{1, queue.name(), "Report"},
                      {2, queue.name(), "Ticket"},
                      {3, layout.out + "/three.txt", "File"}});
    // The program reaches the scheduler that CUPS_SERVER names, as this test does.
    testsupport::RunningTarvo tarvo(layout.install);

    testsupport::dropJob(layout.watched, "a", "@!@1before\r\n@!@3a");
    ASSERT_EQ(queue.waitForJobs(1).size(), 1u);

    scheduler("stop");
    // Each printer section gets its line and is kept; the file section of the same job is still
    // written.
    testsupport::dropJob(layout.watched, "b", "@!@1lost one@!@2lost two@!@3b");
    EXPECT_TRUE(load::waitForContent(layout.out + "/three.txt", "b"));
    testsupport::dropJob(layout.watched, "c", "@!@2lost three");
    const std::string unknown = "Printer Name not recognized.";
    const std::vector<std::string> whileDown = {
        layout.processing("a"), layout.processing("b"), unknown, layout.kept("b", 1), unknown,
        layout.kept("b", 2),    layout.processing("c"), unknown, layout.kept("c", 1)};
    EXPECT_TRUE(load::waitForLog(layout, whileDown)) << testing::PrintToString(layout.log());
    EXPECT_TRUE(tarvo.alive());

    scheduler("restart");
    testsupport::dropJob(layout.watched, "d", "@!@1after@!@2ticket\r\n@!@3d");
    const auto jobs = queue.waitForJobs(3);
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].bytes, "before");
    EXPECT_EQ(jobs[1].bytes, "after");
    EXPECT_EQ(jobs[2].bytes, "ticket\r\n\r\n\r\n");
    std::vector<std::string> all = whileDown;
    all.push_back(layout.processing("d"));
    EXPECT_TRUE(load::waitForLog(layout, all)) << testing::PrintToString(layout.log());
    EXPECT_TRUE(load::waitForContent(layout.out + "/three.txt", "d"));
    EXPECT_TRUE(tarvo.alive());
}
