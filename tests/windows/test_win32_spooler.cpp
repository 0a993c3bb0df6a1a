// Printing through the Windows spooler. Wine hands the spooler's documents to the tests' CUPS
// scheduler, whose capture queues are the Windows printers here.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr const char* kTickets = "tarvo_win_tickets";
constexpr const char* kLabels = "tarvo_win_labels";

TEST(WindowsSpooler, TheSchedulersQueuesAreThePrinters) {
    const auto spooler = platform::makeSystemSpooler();
    const std::vector<std::string> names = spooler->printerNames();
    for (const char* queue : {kTickets, kLabels}) {
        EXPECT_NE(std::find(names.begin(), names.end(), queue), names.end()) << queue;
    }
    EXPECT_EQ(spooler->openPrinter("tarvo_win_no_such_printer"), nullptr);
    EXPECT_EQ(spooler->openPrinter(""), nullptr);
}

TEST(WindowsSpooler, EachSectionReachesItsPrinterByteForByte) {
    testsupport::AppSandbox sandbox;
    core::Settings settings;
    settings.outputs[0] = {kTickets, "Ticket"};
    settings.outputs[1] = {kLabels, "Label"};
    settings.outputs[2] = {"tarvo_win_no_such_printer", "Ticket"};

    // Every byte value but 0xFF, which job processing turns into a form feed.
    std::string ticket;
    for (int value = 0; value < 0xFF; ++value) {
        ticket.push_back(static_cast<char>(value));
    }
    const std::string path = sandbox.dir().file("newjob");
    testsupport::writeFile(path, "@!@1" + ticket + "\r\n" + "@!@3lost" + "@!@2L\xff");
    const auto spooler = platform::makeSystemSpooler();
    routing::JobProcessor processor(*spooler, sandbox.platform().locations(), sandbox.log());
    testsupport::runJob(processor, sandbox, path, settings);

    const auto tickets = wintest::waitForJobs(kTickets, 1);
    const auto labels = wintest::waitForJobs(kLabels, 1);
    ASSERT_EQ(tickets.size(), 1u);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(tickets[0].bytes, ticket + "\r\n\r\n\r\n");
    EXPECT_EQ(labels[0].bytes, "L\x0c\r\n\r\n");
    EXPECT_EQ(tickets[0].title, "Tarvo job");
    EXPECT_EQ(labels[0].title, "Tarvo job");
    EXPECT_EQ(sandbox.routingMessages(), std::vector<std::string>{"Printer Name not recognized."});
}

} // namespace
