// Whole jobs through job processing and a real CUPS scheduler.
#include "core/Settings.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using cupstest::CaptureQueue;
using testsupport::AppSandbox;

void setRow(core::Settings& settings, int n, const std::string& type, const std::string& target) {
    settings.outputs[static_cast<std::size_t>(n - 1)] = {target, type};
}

// Processes the job through the system's spooler.
void processJob(AppSandbox& sandbox, const core::Settings& settings, const std::string& job) {
    const std::string path = sandbox.dir().file("newjob");
    testsupport::writeFile(path, job);
    const auto spooler = platform::makeSystemSpooler();
    routing::JobProcessor processor(*spooler, sandbox.platform().locations(), sandbox.log());
    testsupport::runJob(processor, sandbox, path, settings);
}

TEST(CupsJobProcessing, EveryPrinterSectionIsOneDocumentAndUnknownPrintersAreLogged) {
    AppSandbox sandbox;
    core::Settings settings;
    CaptureQueue tickets("tarvo_process_tickets");
    CaptureQueue labels("tarvo_process_labels");
    setRow(settings, 1, "Ticket", tickets.name());
    setRow(settings, 2, "Dup Ticket", tickets.name());
    setRow(settings, 3, "Label", labels.name());
    setRow(settings, 4, "Ticket", "tarvo_process_no_such_queue");
    setRow(settings, 5, "Report", "");

    const std::string ticket("T1\0\x1b@\x0c\r\nend", 11);
    processJob(sandbox, settings,
               "@!@1" + ticket + "\r\n\r\n" + "@!@2D\r\n" + "@!@4lost" + "@!@3L\xff" +
                   "@!@5lost too" + "@!@1second\n");

    const auto ticketJobs = tickets.waitForJobs(3);
    ASSERT_EQ(ticketJobs.size(), 3u);
    EXPECT_EQ(ticketJobs[0].bytes, ticket + "\r\n\r\n\r\n");
    EXPECT_EQ(ticketJobs[1].bytes, "D\r\n\r\n\r\n\r\nD\x0c");
    EXPECT_EQ(ticketJobs[2].bytes, "second\r\n\r\n\r\n");
    for (const auto& job : ticketJobs) {
        EXPECT_EQ(job.title, "Tarvo job");
        EXPECT_EQ(job.format, "application/vnd.cups-raw");
    }
    const auto labelJobs = labels.waitForJobs(1);
    ASSERT_EQ(labelJobs.size(), 1u);
    EXPECT_EQ(labelJobs[0].bytes, "L\x0c\r\n\r\n");

    EXPECT_EQ(
        sandbox.routingMessages(),
        (std::vector<std::string>{"Printer Name not recognized.", "Printer Name not recognized."}));
}

} // namespace
