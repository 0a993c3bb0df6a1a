// The activity log: one dated line per call, appended, never failing outward nor holding the
// program up.
#include "core/ActivityLog.h"
#include "platform/Clock.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/ChildProcess.h"

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testsupport::AppSandbox;
using Lines = std::vector<std::string>;

namespace {

// What the code under test writes to standard error while the object lives.
class CapturedStandardError {
public:
    CapturedStandardError() {
        std::fflush(stderr);
        const int file = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~CapturedStandardError() {
        std::fflush(stderr);
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    CapturedStandardError(const CapturedStandardError&) = delete;
    CapturedStandardError& operator=(const CapturedStandardError&) = delete;

    Lines lines() const {
        std::fflush(stderr);
        std::istringstream text(testsupport::readFile(path_));
        Lines lines;
        for (std::string line; std::getline(text, line);) {
            lines.push_back(line);
        }
        return lines;
    }

private:
    testsupport::TempDir dir_;
    std::string path_ = dir_.file("stderr");
    int saved_ = ::dup(STDERR_FILENO);
};

// The line that standard error shows for a line that the log could not take.
std::string unlogged(const std::string& why, const std::string& message) {
    return "Tarvo: Main::logError - " + why + ", not logged: 2026-03-05 14:07:09 - " + message;
}

} // namespace

TEST(GeneralDate, UnderTheCLocaleIsTheFullDateAndTimeMidnightIncluded) {
    // Services and cron jobs run under the C locale, whose short date has a two-digit year.
    const std::time_t afternoon = AppSandbox::fixedTime();
    std::tm local{};
    localtime_r(&afternoon, &local);
    local.tm_hour = local.tm_min = local.tm_sec = 0;
    const std::time_t midnight = std::mktime(&local);
    for (const char* locale : {"C", "POSIX", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        ASSERT_NE(std::setlocale(LC_TIME, locale), nullptr);
        EXPECT_EQ(platform::generalDate(afternoon), "2026-03-05 14:07:09");
        EXPECT_EQ(platform::generalDate(midnight), "2026-03-05 00:00:00");
    }
    std::setlocale(LC_TIME, "C");
}

TEST(ActivityLog, WritesOneCrLfLineAndAppendsBelowEarlierLines) {
    AppSandbox sandbox;
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));

    sandbox.log().write("Processing /jobs/A");
    sandbox.log().write("");
    EXPECT_EQ(testsupport::readFile(sandbox.logPath()),
              "2026-03-05 14:07:09 - Processing /jobs/A\r\n2026-03-05 14:07:09 - \r\n");

    // Lines written by an earlier run stay; new ones go below them.
    testsupport::writeFile(sandbox.logPath(), "earlier run\r\n");
    sandbox.log().write("next");
    EXPECT_EQ(testsupport::readFile(sandbox.logPath()),
              "earlier run\r\n2026-03-05 14:07:09 - next\r\n");
    EXPECT_TRUE(sandbox.messageBoxes().empty());
}

TEST(ActivityLog, ControlCharactersInAMessageCannotBreakOrForgeALine) {
    AppSandbox sandbox;
    sandbox.log().write(
        std::string("Processing /jobs/A\r\n03/05/26 14:07:09 - forged\t\x1b\x7f\0.", 51));
    EXPECT_EQ(testsupport::readFile(sandbox.logPath()),
              "2026-03-05 14:07:09 - Processing /jobs/A??03/05/26 14:07:09 - forged????.\r\n");
}

TEST(ActivityLog, UnwritableLogSendsItsLinesToStandardErrorAndShowsABoxAtMostOnceAMinute) {
    AppSandbox sandbox;
    // A directory where the log file should be cannot be opened for appending, even by root.
    std::filesystem::create_directory(sandbox.logPath());
    CapturedStandardError captured;

    sandbox.log().write("first");
    sandbox.log().write("second");
    const std::string box = "Main::logError - Is a directory";
    EXPECT_EQ(sandbox.messageBoxes(), Lines{box});

    // The next box comes a minute after the last one, whatever failed meanwhile.
    platform::FixedClock& clock = sandbox.platform().fixedClock();
    clock.advance(std::chrono::seconds(59));
    sandbox.log().write("third");
    EXPECT_EQ(sandbox.messageBoxes().size(), 1u);
    clock.advance(std::chrono::seconds(1));
    sandbox.log().write("fourth");
    EXPECT_EQ(sandbox.messageBoxes(), (Lines{box, box}));

    // Every line is on standard error, with why, in the order of the calls.
    const Lines lines = captured.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], unlogged("Is a directory", "first"));
    EXPECT_EQ(lines[1], unlogged("Is a directory", "second"));
    EXPECT_EQ(lines[2].rfind("Tarvo: Main::logError - Is a directory, not logged: ", 0), 0u);
    EXPECT_EQ(lines[3].substr(lines[3].size() - 9), " - fourth");
}

TEST(ActivityLog, ALogThatIsNoRegularFileIsRefusedWithoutWaitingForIt) {
    AppSandbox sandbox;
    testsupport::TempDir elsewhere;
    testsupport::writeFile(elsewhere.file("target"), "precious");
    CapturedStandardError captured;

    // A link in the log's place, to a file or to nothing, is not followed.
    std::filesystem::create_symlink(elsewhere.file("target"), sandbox.logPath());
    sandbox.log().write("through a link");
    std::filesystem::remove(sandbox.logPath());
    std::filesystem::create_symlink(elsewhere.file("created"), sandbox.logPath());
    sandbox.log().write("through a dangling link");
    std::filesystem::remove(sandbox.logPath());
    EXPECT_EQ(testsupport::readFile(elsewhere.file("target")), "precious");
    EXPECT_FALSE(testsupport::exists(elsewhere.file("created")));

    // A pipe is neither written when something reads it nor waited for when nothing does.
    ASSERT_EQ(::mkfifo(sandbox.logPath().c_str(), 0600), 0);
    const int reader = ::open(sandbox.logPath().c_str(), O_RDONLY | O_NONBLOCK);
    sandbox.log().write("into a pipe");
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "the pipe was written";
    ::close(reader);
    EXPECT_TRUE(testsupport::holdsWithin(10, [&] {
        sandbox.log().write("into a pipe that nobody reads");
        return true;
    })) << "the log waited for a reader of the pipe";

    const std::string why = "Not a regular file";
    EXPECT_EQ(
        captured.lines(),
        (Lines{unlogged(why, "through a link"), unlogged(why, "through a dangling link"),
               unlogged(why, "into a pipe"), unlogged(why, "into a pipe that nobody reads")}));
    EXPECT_EQ(sandbox.messageBoxes(), Lines{"Main::logError - Not a regular file"});
}

TEST(ActivityLog, ALogHeldForAMomentIsWrittenOnceFreeAndOneHeldLongerIsNotWaitedFor) {
    AppSandbox sandbox;
    testsupport::writeFile(sandbox.logPath(), "");
    // Another program's lease on the log: opening it for writing waits until the lease is given
    // up, or, without waiting, fails until then. The holder is told with SIGIO.
    const auto previous = std::signal(SIGIO, SIG_IGN);
    const int holder = ::open(sandbox.logPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (::fcntl(holder, F_SETLEASE, F_RDLCK) != 0) {
        ::close(holder);
        std::signal(SIGIO, previous);
        GTEST_SKIP() << "file leases are not available here";
    }
    CapturedStandardError captured;

    std::thread givesUp([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::fcntl(holder, F_SETLEASE, F_UNLCK);
    });
    sandbox.log().write("after a moment");
    givesUp.join();
    EXPECT_EQ(sandbox.logMessages(), Lines{"after a moment"});

    // Held for longer than a second: the line goes to standard error.
    ASSERT_EQ(::fcntl(holder, F_SETLEASE, F_RDLCK), 0);
    sandbox.log().write("while held");
    ::close(holder);
    std::signal(SIGIO, previous);
    EXPECT_EQ(sandbox.logMessages(), Lines{"after a moment"});
    EXPECT_EQ(captured.lines(), Lines{unlogged("Resource temporarily unavailable", "while held")});
    EXPECT_EQ(sandbox.messageBoxes(), Lines{"Main::logError - Resource temporarily unavailable"});
}
