// Following a printed document's spool job on a real CUPS scheduler until it ends.
#include "platform/Spooler.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using platform::PrinterReport;
using platform::SpoolJobId;
using platform::SpoolJobReport;
using platform::SpoolJobState;

// A queue whose printer is never connected, for the life of the object.
struct FailingQueue {
    explicit FailingQueue(std::string queue) : name(std::move(queue)) {
        cupstest::addFailingQueue(name);
    }
    ~FailingQueue() { cupstest::removeQueue(name); }
    FailingQueue(const FailingQueue&) = delete;
    FailingQueue& operator=(const FailingQueue&) = delete;

    const std::string name;
};

// Prints one raw document on the printer; the id of its job, none when the printer did not open.
std::optional<SpoolJobId> printDocument(platform::Spooler& spooler, const std::string& printer) {
    const auto opened = spooler.openPrinter(printer);
    if (!opened) {
        return std::nullopt;
    }
    const std::string bytes = "ticket\r\n";
    opened->startDocument("Tarvo job", "RAW");
    opened->startPage();
    opened->write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    opened->endPage();
    return opened->endDocument();
}

// Asks about the job until it is no longer Waiting, for 20 seconds at most; the last report.
PrinterReport askUntilEnded(platform::Spooler& spooler, const std::string& printer,
                            SpoolJobId job) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    PrinterReport report = spooler.askPrinter(printer, {job});
    while (report.jobs.at(0).state == SpoolJobState::Waiting &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        report = spooler.askPrinter(printer, {job});
    }
    return report;
}

TEST(CupsJobFollowing, APrintedJobEndsCompletedAndAnIdTheSchedulerNeverGaveIsUnknown) {
    cupstest::CaptureQueue queue("tarvo_follow_done");
    const auto spooler = platform::makeSystemSpooler();
    const std::optional<SpoolJobId> job = printDocument(*spooler, queue.name());
    ASSERT_TRUE(job.has_value());

    const PrinterReport ended = askUntilEnded(*spooler, queue.name(), *job);
    EXPECT_EQ(ended, (PrinterReport{false, "", {{SpoolJobState::Completed, ""}}}));
    // One report per job, in the order asked.
    EXPECT_EQ(spooler->askPrinter(queue.name(), {*job + 100000, *job}).jobs,
              (std::vector<SpoolJobReport>{{SpoolJobState::Unknown, ""},
                                           {SpoolJobState::Completed, ""}}));
    // A printer that is gone is troubled, and CUPS forgets its jobs with it.
    cupstest::removeQueue(queue.name());
    EXPECT_EQ(spooler->askPrinter(queue.name(), {*job}),
              (PrinterReport{
                  true, "The printer or class does not exist.", {{SpoolJobState::Unknown, ""}}}));
}

TEST(CupsJobFollowing, AJobThatThePrinterFailsEndsFailedInThePrintersWords) {
    const FailingQueue queue("tarvo_follow_failing");
    const auto spooler = platform::makeSystemSpooler();
    const std::optional<SpoolJobId> job = printDocument(*spooler, queue.name);
    ASSERT_TRUE(job.has_value());

    EXPECT_EQ(askUntilEnded(*spooler, queue.name, *job).jobs.at(0),
              (SpoolJobReport{SpoolJobState::Failed, "The printer is not connected."}));
}

TEST(CupsJobFollowing, AStoppedQueueHoldsItsJobBackUntilItIsStartedAgain) {
    cupstest::CaptureQueue queue("tarvo_follow_stopped");
    cupstest::disableQueue(queue.name(), "Stopped for the night");
    const auto spooler = platform::makeSystemSpooler();
    const std::optional<SpoolJobId> job = printDocument(*spooler, queue.name());
    ASSERT_TRUE(job.has_value());

    EXPECT_EQ(spooler->askPrinter(queue.name(), {*job}),
              (PrinterReport{true, "Stopped for the night", {{SpoolJobState::Waiting, ""}}}));
    cupstest::enableQueue(queue.name());
    const PrinterReport ended = askUntilEnded(*spooler, queue.name(), *job);
    EXPECT_EQ(ended.jobs.at(0).state, SpoolJobState::Completed);
    EXPECT_FALSE(ended.troubled);
    EXPECT_EQ(queue.jobs().size(), 1u);
}

} // namespace
