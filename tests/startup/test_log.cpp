// The activity log: one dated line per call, appended, never failing outward.
#include "core/ActivityLog.h"
#include "platform/Clock.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>

using testsupport::AppSandbox;

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

TEST(ActivityLog, UnwritableLogShowsOneBoxPerLineAndTheCallerGoesOn) {
    AppSandbox sandbox;
    // A directory where the log file should be cannot be opened for appending, even by root.
    std::filesystem::create_directory(sandbox.logPath());

    sandbox.log().write("first");
    sandbox.log().write("second");

    ASSERT_EQ(sandbox.messageBoxes().size(), 2u);
    EXPECT_EQ(sandbox.messageBoxes()[0], "Main::logError - Is a directory");
    EXPECT_EQ(sandbox.messageBoxes()[1], "Main::logError - Is a directory");
}
