// The whole program follows its printer sections to their end on the tests' own CUPS scheduler:
// a job that the print server aborts is kept in "failed" in the printer's words, one that a
// stopped queue holds back is named once it has waited, and followed on across a restart until
// it prints.
#include "tests/support/posix/CupsQueues.h"
#include "tests/support/posix/TarvoProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

using testsupport::exists;
using testsupport::readFile;
using testsupport::RunningTarvo;
using testsupport::TarvoInstall;

namespace {

using Lines = std::vector<std::string>;

// Whether a line holds all the texts.
bool anyLineHas(const Lines& lines, std::initializer_list<std::string> texts) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return std::all_of(texts.begin(), texts.end(), [&](const std::string& text) {
            return line.find(text) != std::string::npos;
        });
    });
}

TEST(FollowedPrinting, AnAbortedJobIsKeptAndAHeldBackOneNamedUntilItPrintsAcrossARestart) {
    cupstest::CaptureQueue printing("e2e_follow_ok");
    cupstest::CaptureQueue stopped("e2e_follow_stopped");
    const std::string failing = "e2e_follow_failing";
    cupstest::addFailingQueue(failing);
    cupstest::disableQueue(stopped.name(), "Out of paper");
    TarvoInstall install;
    const std::string watched = install.dir().file("jobs");
    std::filesystem::create_directory(watched);
    testsupport::writeFile(
        install.iniPath(),
        "[MAP]\r\n@@1@=" + printing.name() + "\r\nType1=Ticket\r\n@@2@=" + failing +
            "\r\nType2=Label\r\n@@3@=" + stopped.name() +
            "\r\nType3=Report\r\n[MONITOR]\r\nPATH=" + watched + "\r\nPRINTWAIT=1\r\n");
    {
        RunningTarvo tarvo(install);
        testsupport::dropJob(watched, "job", "@!@1printed@!@2aborted\xFF@!@3held back");
        ASSERT_EQ(printing.waitForJobs(1).size(), 1u);

        // The aborted section is kept as it stood in the job, the spooler's reason logged, and
        // headless the notification goes to standard error.
        const std::string kept = watched + "/failed/job.section2";
        ASSERT_TRUE(testsupport::waitUntil([&] { return exists(kept); }));
        EXPECT_EQ(readFile(kept), "@!@2aborted\xFF");
        EXPECT_TRUE(anyLineHas(install.logMessages(),
                               {"Section 2 of job", failing, "The printer is not connected."}));
        EXPECT_TRUE(anyLineHas(install.errorLines(), {"Output 2 not delivered"}));

        // The held-back section is named once it has waited PRINTWAIT.
        ASSERT_TRUE(testsupport::waitUntil([&] {
            return anyLineHas(install.logMessages(), {stopped.name(), "Out of paper", "since"});
        }));
        EXPECT_TRUE(tarvo.alive());
    }
    // A restarted program follows the held-back job on: once the queue runs, it prints, and no
    // section of it is kept.
    RunningTarvo tarvo(install);
    cupstest::enableQueue(stopped.name());
    const auto held = stopped.waitForJobs(1);
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].bytes, "held back");
    ASSERT_TRUE(testsupport::waitUntil([&] { return !exists(watched + "/.printjobs"); }))
        << "the restarted program did not see the job end";
    const Lines inFailed = [&] {
        Lines names;
        for (const auto& entry : std::filesystem::directory_iterator(watched + "/failed")) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }();
    EXPECT_EQ(inFailed, Lines{"job.section2"}) << "only the aborted section is kept";
    // The printed section adds no line to what an unfollowed one logs.
    EXPECT_FALSE(anyLineHas(install.logMessages(), {printing.name()}));
    cupstest::removeQueue(failing);
}

} // namespace
