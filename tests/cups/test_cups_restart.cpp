// The system spooler while its scheduler stops and starts again under it. This test runs a
// scheduler of its own, so that stopping it disturbs no other test.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using cupstest::CaptureQueue;

void scheduler(const std::string& action) {
    const std::string command =
        std::string("sh '") + TARVO_CUPS_SCRIPT + "' " + action + " '" + TARVO_CUPS_DIR + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Starts the scheduler for the test and stops it however the test ends.
struct OwnScheduler {
    OwnScheduler() { scheduler("start"); }
    ~OwnScheduler() { scheduler("stop"); }
};

void write(platform::Spooler::Printer& printer, const std::string& bytes) {
    printer.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void printSection(platform::Spooler& spooler, const std::string& name, const std::string& bytes) {
    const auto printer = spooler.openPrinter(name);
    ASSERT_NE(printer, nullptr) << name;
    printer->startDocument("Tarvo job", "RAW");
    printer->startPage();
    write(*printer, bytes);
    printer->endPage();
    printer->endDocument();
}

TEST(CupsSpoolerRestart, PrintsAgainOnceTheSchedulerIsBack) {
    OwnScheduler running;
    const auto spooler = platform::makeSystemSpooler();
    // A scheduler without queues lists no printers; that is not a failure.
    EXPECT_TRUE(spooler->printerNames().empty());
    CaptureQueue queue("tarvo_restart");
    printSection(*spooler, queue.name(), "before");
    ASSERT_EQ(queue.waitForJobs(1).size(), 1u);

    // The scheduler goes away in the middle of a document.
    auto printer = spooler->openPrinter(queue.name());
    ASSERT_NE(printer, nullptr);
    printer->startDocument("Tarvo job", "RAW");
    printer->startPage();
    write(*printer, "first half");
    scheduler("stop");
    EXPECT_THROW(write(*printer, std::string(4 * 1024 * 1024, 'x')), platform::Failure);
    EXPECT_NO_THROW(printer.reset());

    // While it is away no printer opens, and the list says why it cannot be had.
    EXPECT_EQ(spooler->openPrinter(queue.name()), nullptr);
    EXPECT_THROW(spooler->printerNames(), platform::Failure);
    EXPECT_EQ(spooler->openPrinter(""), nullptr);

    scheduler("restart");
    const auto names = spooler->printerNames();
    EXPECT_NE(std::find(names.begin(), names.end(), queue.name()), names.end());
    printSection(*spooler, queue.name(), "after");

    // The document cut off by the stop never prints, not even in part.
    const auto jobs = queue.waitForJobs(2);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0].bytes, "before");
    EXPECT_EQ(jobs[1].bytes, "after");
}

// Halts the scheduler (SIGSTOP) for the life of the object: it takes connections and bytes no
// more, and answers nothing.
class HaltedScheduler {
public:
    HaltedScheduler()
        : pid_(std::stoi(testsupport::readFile(std::string(TARVO_CUPS_DIR) + "/cupsd.pid"))) {
        ::kill(pid_, SIGSTOP);
    }
    ~HaltedScheduler() { ::kill(pid_, SIGCONT); }
    HaltedScheduler(const HaltedScheduler&) = delete;
    HaltedScheduler& operator=(const HaltedScheduler&) = delete;

private:
    pid_t pid_;
};

TEST(CupsSpoolerRestart, AnUploadWithoutProgressFailsAndTheJobsLaterPrintersDoNotOpen) {
    OwnScheduler running;
    const auto spooler = platform::makeSystemSpooler();
    CaptureQueue queue("tarvo_halted");
    auto printer = spooler->openPrinter(queue.name());
    ASSERT_NE(printer, nullptr);
    printer->startDocument("Tarvo job", "RAW");
    printer->startPage();
    write(*printer, "first part");
    {
        const HaltedScheduler halted;
        try {
            write(*printer, std::string(4 * 1024 * 1024, 'x'));
            ADD_FAILURE() << "the upload did not fail";
        } catch (const platform::Failure& failure) {
            EXPECT_STREQ(failure.what(), "No progress printing for 5 seconds");
        }
        EXPECT_NO_THROW(printer.reset());
        // The rest of the job does not wait for the scheduler again.
        EXPECT_EQ(spooler->openPrinter(queue.name()), nullptr);
    }
    // The next job asks again.
    spooler->beginJob();
    printSection(*spooler, queue.name(), "after");
    const auto jobs = queue.waitForJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].bytes, "after");
}

} // namespace
