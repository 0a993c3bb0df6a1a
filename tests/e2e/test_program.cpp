// The whole program: the real executable, started from an application directory of its own,
// routing job files dropped into its watched directory.
#include "tests/support/posix/CupsQueues.h"
#include "tests/support/posix/TarvoProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::exists;
using testsupport::readFile;
using testsupport::RunningTarvo;
using testsupport::TarvoInstall;

namespace {

std::string settingsFor(const std::string& watched, const std::string& out) {
    return "[MAP]\r\n"
           "@@2@=" +
           out +
           "/two.txt\r\nType2=File\r\n"
           "@@3@=" +
           out +
           "\r\nType3=NamedFile\r\n"
           "@@4@=" +
           out +
           "/four.txt\r\nType4=File\r\n"
           "[MONITOR]\r\nPATH=" +
           watched + "\r\n";
}

struct Layout {
    TarvoInstall install;
    std::string watched = install.dir().file("jobs");
    std::string out = install.dir().file("out");

    Layout() {
        std::filesystem::create_directory(watched);
        std::filesystem::create_directory(out);
        testsupport::writeFile(install.iniPath(), settingsFor(watched, out));
    }
};

} // namespace

TEST(Program, RoutesDroppedJobsToFilesAndLogsEachJob) {
    Layout layout;
    RunningTarvo tarvo(layout.install);

    testsupport::dropJob(layout.watched, "a-first",
                         std::string("\x40\x21\x40\x32"
                                     "ABC\r\n\xFF"
                                     "D\n",
                                     11));
    ASSERT_TRUE(testsupport::waitUntil([&] { return exists(layout.out + "/two.txt"); }));
    EXPECT_TRUE(testsupport::waitUntil([&] {
        return readFile(layout.out + "/two.txt") == "ABC\r\n\x0C"
                                                    "D";
    }));

    // A named file, and a job with two sections for two files.
    testsupport::dropJob(layout.watched, "b-second", "@!@3 A1.TXT|DATA\r\n");
    testsupport::dropJob(layout.watched, "c-third", "@!@2first@!@4second\r\n\r\n");
    // The last section's file exists from its start: done is when it holds the section.
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return readFile(layout.out + "/four.txt") == "second"; }));
    EXPECT_EQ(readFile(layout.out + "/A1.TXT"), "DATA");
    EXPECT_EQ(readFile(layout.out + "/two.txt"), "first");

    EXPECT_TRUE(testsupport::waitUntil([&] { return std::filesystem::is_empty(layout.watched); }));
    EXPECT_EQ(layout.install.logMessages(),
              (std::vector<std::string>{"Processing " + layout.watched + "/a-first",
                                        "Processing " + layout.watched + "/b-second",
                                        "Processing " + layout.watched + "/c-third"}));
    EXPECT_TRUE(tarvo.alive());
}

TEST(Program, AnX11DisplayThatCannotBeReachedStillLetsItRoute) {
    Layout layout;
    RunningTarvo tarvo(layout.install, ":77");
    testsupport::dropJob(layout.watched, "job", "@!@2x\r\n");
    EXPECT_TRUE(testsupport::waitUntil([&] { return exists(layout.out + "/two.txt"); }));
    EXPECT_TRUE(tarvo.alive());
}

TEST(Program, SecondInstanceExitsAtOnceAndTouchesNothing) {
    Layout layout;
    RunningTarvo first(layout.install);
    // The first instance is up once it has taken a job.
    testsupport::dropJob(layout.watched, "job", "@!@2x\r\n");
    ASSERT_TRUE(testsupport::waitUntil([&] { return exists(layout.out + "/two.txt"); }));

    const std::string logBefore = readFile(layout.install.logPath());
    const auto iniTime = std::filesystem::last_write_time(layout.install.iniPath());

    // Started as a desktop starts it, and with another runtime directory and HOME as cron or
    // su might; then another copy of the program, installed elsewhere by the same user.
    for (const std::string& environment : {std::string(), layout.out}) {
        const pid_t second = layout.install.start(nullptr, environment);
        EXPECT_EQ(testsupport::waitForExit(second, std::chrono::seconds(10)), 0);
    }
    TarvoInstall otherCopy(layout.install.user());
    testsupport::writeFile(otherCopy.iniPath(), settingsFor(layout.watched, layout.out));
    EXPECT_EQ(testsupport::waitForExit(otherCopy.start(), std::chrono::seconds(10)), 0);

    EXPECT_EQ(readFile(layout.install.logPath()), logBefore);
    EXPECT_EQ(std::filesystem::last_write_time(layout.install.iniPath()), iniTime);
    EXPECT_FALSE(exists(otherCopy.logPath()));
    EXPECT_TRUE(first.alive());
    // The lock is in the home that the password database names.
    EXPECT_EQ(readFile(layout.install.user()->dir().file(".tarvo/.tarvo.lock")),
              std::to_string(first.pid()) + "\n");

    const std::string running =
        "Tarvo: already running (process " + std::to_string(first.pid()) + "), so this start ends";
    const std::vector<std::string> lines = layout.install.errorLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), running), 2);
    EXPECT_EQ(otherCopy.errorLines(), std::vector<std::string>{running});
}

TEST(Program, AWriteThatCannotGoOnIsLoggedAndRoutingGoesOn) {
    Layout layout;
    const std::string pipe = layout.out + "/pipe";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    testsupport::writeFile(layout.install.iniPath(),
                           "[MAP]\r\n@@1@=" + pipe + "\r\nType1=File\r\n@@2@=" + layout.out +
                               "/two.txt\r\nType2=File\r\n[MONITOR]\r\nPATH=" + layout.watched +
                               "\r\n");
    RunningTarvo tarvo(layout.install);
    const rlimit fileSizeLimit{64 * 1024, 64 * 1024};
    ASSERT_EQ(prlimit(tarvo.pid(), RLIMIT_FSIZE, &fileSizeLimit, nullptr), 0);

    // A reader that leaves after a few bytes of a long section, then a section larger than
    // the program may write to a file, then a job that must still be routed.
    std::thread reader([&] {
        const int fd = open(pipe.c_str(), O_RDONLY);
        char bytes[10];
        EXPECT_GT(read(fd, bytes, sizeof bytes), 0);
        close(fd);
    });
    testsupport::dropJob(layout.watched, "a", "@!@1" + std::string(1 << 20, 'A'));
    reader.join();
    ASSERT_TRUE(testsupport::waitUntil([&] { return layout.install.logMessages().size() >= 3; }));
    testsupport::dropJob(layout.watched, "b", "@!@2" + std::string(128 * 1024, 'B'));
    ASSERT_TRUE(testsupport::waitUntil([&] { return layout.install.logMessages().size() >= 6; }));
    testsupport::dropJob(layout.watched, "c", "@!@2small");
    ASSERT_TRUE(
        testsupport::waitUntil([&] { return readFile(layout.out + "/two.txt") == "small"; }));

    // Neither section can be kept either: the limit holds for every file the program writes.
    const std::string notKept = " not kept: File too large";
    EXPECT_EQ(layout.install.logMessages(),
              (std::vector<std::string>{
                  "Processing " + layout.watched + "/a", "modProcess::CloseOutput - Broken pipe",
                  "modProcess::KeepSection - Section 1 of a" + notKept,
                  "Processing " + layout.watched + "/b", "modProcess::CloseOutput - File too large",
                  "modProcess::KeepSection - Section 1 of b" + notKept,
                  "Processing " + layout.watched + "/c"}));
    EXPECT_TRUE(tarvo.alive());
}

TEST(Program, PrintsTheSectionsOfAJobThroughCups) {
    cupstest::CaptureQueue ticket("e2e_ticket");
    cupstest::CaptureQueue label("e2e_label");
    Layout layout;
    testsupport::writeFile(layout.install.iniPath(),
                           "[MAP]\r\n@@1@=" + ticket.name() + "\r\nType1=Ticket\r\n@@3@=" +
                               label.name() + "\r\nType3=Label\r\n@@5@=no_such_queue\r\n" +
                               "Type5=Report\r\n[MONITOR]\r\nPATH=" + layout.watched + "\r\n");
    RunningTarvo tarvo(layout.install);

    // Two sections for two printers, and one for a printer that CUPS does not know.
    testsupport::dropJob(layout.watched, "job", "@!@1ABC\r\n@!@3X\xFF\r\n@!@5lost");
    const auto tickets = ticket.waitForJobs(1);
    const auto labels = label.waitForJobs(1);
    ASSERT_EQ(tickets.size(), 1u);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(tickets[0].bytes, "ABC\r\n\r\n\r\n");
    EXPECT_EQ(labels[0].bytes, "X\x0C\r\n\r\n");
    EXPECT_EQ(tickets[0].title, "Tarvo job");
    EXPECT_EQ(tickets[0].format, "application/vnd.cups-raw");
    ASSERT_TRUE(testsupport::waitUntil([&] { return layout.install.logMessages().size() == 3; }));
    const std::string kept = layout.watched + "/failed/job.section3";
    EXPECT_EQ(layout.install.logMessages(),
              (std::vector<std::string>{
                  "Processing " + layout.watched + "/job", "Printer Name not recognized.",
                  "modProcess::KeepSection - Section 3 of job kept as " + kept}));
    EXPECT_EQ(readFile(kept), "@!@5lost");
}
