// Whole jobs through job processing and a real CUPS scheduler.
#include "core/Settings.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using cupstest::CaptureQueue;
using testsupport::AppSandbox;

void setRow(core::Settings& settings, int n, const std::string& type, const std::string& target) {
    settings.outputs[static_cast<std::size_t>(n - 1)] = {target, type};
}

// Processes the work file through the system's spooler.
void processWorkFile(AppSandbox& sandbox, const core::Settings& settings) {
    const std::string path = sandbox.dir().file("newjob");
    const auto spooler = platform::makeSystemSpooler();
    routing::UnobservedDeliveries unobserved;
    routing::JobProcessor processor(*spooler, sandbox.platform().directory(),
                                    sandbox.platform().locations(), sandbox.log(), unobserved);
    testsupport::runJob(processor, sandbox, path, settings);
}

void processJob(AppSandbox& sandbox, const core::Settings& settings, const std::string& job) {
    testsupport::writeFile(sandbox.dir().file("newjob"), job);
    processWorkFile(sandbox, settings);
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

    const std::string failed = sandbox.dir().file("failed");
    EXPECT_EQ(
        sandbox.routingMessages(),
        (std::vector<std::string>{
            "Printer Name not recognized.",
            "modProcess::KeepSection - Section 3 of job kept as " + failed + "/job.section3",
            "Printer Name not recognized.",
            "modProcess::KeepSection - Section 5 of job kept as " + failed + "/job.section5"}));
}

// A printer row naming a queue that does not exist: its section is kept in "failed", and once the
// queue is there, the kept job dropped back prints that section byte for byte, and nothing else.
TEST(CupsJobProcessing, ASectionForAMissingQueueIsKeptAndPrintsOnceTheQueueIsAdded) {
    AppSandbox sandbox;
    core::Settings settings;
    const std::string later = "tarvo_process_added_later";
    cupstest::removeQueue(later);
    CaptureQueue tickets("tarvo_process_kept_tickets");
    setRow(settings, 1, "Ticket", tickets.name());
    setRow(settings, 2, "Label", later);
    const std::string label("L\0\x1b\xff\r\n", 6);
    processJob(sandbox, settings, "@!@1ticket@!@2" + label);
    ASSERT_EQ(tickets.waitForJobs(1).size(), 1u);
    const std::string kept = sandbox.dir().file("failed/job.section2");
    EXPECT_EQ(testsupport::readFile(kept), "@!@2" + label);

    CaptureQueue added(later);
    std::filesystem::rename(kept, sandbox.dir().file("newjob"));
    processWorkFile(sandbox, settings);
    const auto labels = added.waitForJobs(1);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels[0].bytes, std::string("L\0\x1b\x0c\r\n\r\n", 8));
    EXPECT_EQ(cupstest::unfinishedJobs(tickets.name()), 0u);
    EXPECT_EQ(tickets.jobs().size(), 1u);
    EXPECT_FALSE(testsupport::exists(sandbox.dir().file("failed/job.section2")));
}

} // namespace
