// Printing through the Windows spooler. Wine hands the spooler's documents to the tests' CUPS
// scheduler, whose capture queues are the Windows printers here.
#include "core/modConfig.h"
#include "platform/Spooler.h"
#include "process/modProcess.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* kTickets = "tarvo_win_tickets";
constexpr const char* kLabels = "tarvo_win_labels";

TEST(WindowsSpooler, TheSchedulersQueuesAreThePrinters) {
    platform::Spooler& spooler = platform::spooler();
    const std::vector<std::string> names = spooler.printerNames();
    for (const char* queue : {kTickets, kLabels}) {
        EXPECT_NE(std::find(names.begin(), names.end(), queue), names.end()) << queue;
    }
    EXPECT_EQ(spooler.openPrinter("tarvo_win_no_such_printer"), 0u);
    EXPECT_EQ(spooler.openPrinter(""), 0u);
}

TEST(WindowsSpooler, EachSectionReachesItsPrinterByteForByte) {
    testsupport::AppSandbox sandbox;
    modConfig::Settings settings;
    settings.strMapType[0] = "Ticket";
    settings.strMapTarget[0] = kTickets;
    settings.strMapType[1] = "Label";
    settings.strMapTarget[1] = kLabels;
    settings.strMapType[2] = "Ticket";
    settings.strMapTarget[2] = "tarvo_win_no_such_printer";

    // Every byte value but 0xFF, which job processing turns into a form feed.
    std::string ticket;
    for (int value = 0; value < 0xFF; ++value) {
        ticket.push_back(static_cast<char>(value));
    }
    const std::string path = sandbox.dir().file("newjob");
    testsupport::writeFile(path, "@!@1" + ticket + "\r\n" + "@!@3lost" + "@!@2L\xff");
    modProcess::JobProcessor().ProcessFile(path, settings);

    const auto tickets = wintest::waitForJobs(kTickets, 1);
    const auto labels = wintest::waitForJobs(kLabels, 1);
    ASSERT_EQ(tickets.size(), 1u);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(tickets[0].bytes, ticket + "\r\n\r\n\r\n");
    EXPECT_EQ(labels[0].bytes, "L\x0c\r\n\r\n");
    EXPECT_EQ(tickets[0].title, "Tarvo job");
    EXPECT_EQ(labels[0].title, "Tarvo job");
    EXPECT_EQ(sandbox.logMessages(), std::vector<std::string>{"Printer Name not recognized."});
}

} // namespace
