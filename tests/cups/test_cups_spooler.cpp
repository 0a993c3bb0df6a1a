// The system spooler against a real CUPS scheduler whose queues capture what they print.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/CupsQueues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using cupstest::CaptureQueue;

constexpr const char* kRawFormat = "application/vnd.cups-raw";

// One section as the output channel sends it: a raw document "Tarvo job" of one page.
void printSection(platform::Spooler& spooler, const std::string& printer,
                  const std::string& bytes) {
    const auto opened = spooler.openPrinter(printer);
    ASSERT_NE(opened, nullptr) << printer;
    opened->startDocument("Tarvo job", "RAW");
    opened->startPage();
    opened->write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    opened->endPage();
    opened->endDocument();
}

std::string randomBytes(std::size_t count) {
    std::mt19937 generator(20260305);
    std::uniform_int_distribution<int> byte(0, 255);
    std::string bytes(count, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(byte(generator));
    }
    return bytes;
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(CupsSpooler, EverySectionArrivesAsOneRawDocumentWithItsBytesUnchanged) {
    CaptureQueue queue("tarvo_bytes");
    const std::vector<std::string> sections = {
        std::string("\x1b@ticket\0line\r\n\x0c\x1b"
                    "d\x03\xff\r\n\r\n",
                    22),
        std::string(1, '\0'),
        std::string("\r\n\r\n\r\n"),
        randomBytes(3 * 1024 * 1024 + 17),
    };
    const auto spooler = platform::makeSystemSpooler();
    for (const std::string& section : sections) {
        printSection(*spooler, queue.name(), section);
    }

    const auto jobs = queue.waitForJobs(sections.size());
    ASSERT_EQ(jobs.size(), sections.size());
    for (std::size_t i = 0; i < sections.size(); ++i) {
        EXPECT_EQ(jobs[i].title, "Tarvo job") << "section " << i;
        EXPECT_EQ(jobs[i].format, kRawFormat) << "section " << i;
        EXPECT_TRUE(jobs[i].bytes == sections[i]) << "section " << i << " arrived changed";
    }
}

TEST(CupsSpooler, OnlyAnInstalledQueueIsRecognised) {
    CaptureQueue queue("tarvo_known");
    // With a default printer in place, an empty name must still name no printer.
    cupstest::setDefaultQueue(queue.name());

    const auto spooler = platform::makeSystemSpooler();
    EXPECT_EQ(spooler->openPrinter(""), nullptr);
    EXPECT_EQ(spooler->openPrinter("tarvo_no_such_queue"), nullptr);
    EXPECT_EQ(spooler->openPrinter("Tarvo_Known_"), nullptr);
    EXPECT_NE(spooler->openPrinter(queue.name()), nullptr);

    cupstest::removeQueue(queue.name());
    EXPECT_EQ(spooler->openPrinter(queue.name()), nullptr) << "a removed queue still opens";
}

TEST(CupsSpooler, PrinterListFollowsTheInstalledQueues) {
    const auto spooler = platform::makeSystemSpooler();
    CaptureQueue first("tarvo_list_first");
    const auto before = spooler->printerNames();
    EXPECT_TRUE(listed(before, first.name()));
    EXPECT_FALSE(listed(before, "tarvo_list_second"));

    {
        CaptureQueue second("tarvo_list_second");
        const auto during = spooler->printerNames();
        EXPECT_TRUE(listed(during, first.name()));
        ASSERT_TRUE(listed(during, second.name()));
        // Every listed name opens as a printer.
        EXPECT_NE(spooler->openPrinter(second.name()), nullptr);
    }
    EXPECT_FALSE(listed(spooler->printerNames(), "tarvo_list_second"));
}

TEST(CupsSpooler, AnInstanceOpensOnlyWhereItIsDefined) {
    CaptureQueue queue("tarvo_instances");
    const std::string options = std::string(std::getenv("HOME")) + "/.cups";
    std::filesystem::create_directories(options);
    testsupport::writeFile(options + "/lpoptions", "Dest tarvo_instances/second\n");

    const auto spooler = platform::makeSystemSpooler();
    EXPECT_TRUE(listed(spooler->printerNames(), "tarvo_instances/second"));
    EXPECT_NE(spooler->openPrinter("tarvo_instances/second"), nullptr);
    // A mistyped instance names no printer, rather than the queue without it.
    EXPECT_EQ(spooler->openPrinter("tarvo_instances/secnod"), nullptr);
    EXPECT_EQ(spooler->openPrinter("tarvo_instances/"), nullptr);
    std::filesystem::remove(options + "/lpoptions");
}

TEST(CupsSpooler, DocumentWithoutCompleteDataPrintsNothing) {
    CaptureQueue queue("tarvo_empty");
    const auto spooler = platform::makeSystemSpooler();

    // Ended without data: no job to follow.
    auto printer = spooler->openPrinter(queue.name());
    ASSERT_NE(printer, nullptr);
    printer->startDocument("Tarvo job", "RAW");
    printer->startPage();
    printer->write(nullptr, 0);
    printer->endPage();
    EXPECT_EQ(printer->endDocument(), std::nullopt);
    printer.reset();

    // Released while its data was still being sent: withdrawn, never half printed.
    printer = spooler->openPrinter(queue.name());
    ASSERT_NE(printer, nullptr);
    printer->startDocument("Tarvo job", "RAW");
    printer->startPage();
    const std::string partial = "half a ticket";
    printer->write(reinterpret_cast<const std::uint8_t*>(partial.data()), partial.size());
    printer.reset();

    // Opened and released with no document at all.
    spooler->openPrinter(queue.name()).reset();

    // Jobs of one queue print in order, so once this one is there nothing else is coming.
    printSection(*spooler, queue.name(), "after");
    const auto jobs = queue.waitForJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].bytes, "after");
    EXPECT_EQ(cupstest::unfinishedJobs(queue.name()), 0u) << "a withdrawn job was left behind";
}

TEST(CupsSpooler, APrinterUsedOutOfOrderFailsWithoutPrinting) {
    CaptureQueue queue("tarvo_order");
    const auto spooler = platform::makeSystemSpooler();
    const std::uint8_t byte = 'x';

    auto printer = spooler->openPrinter(queue.name());
    ASSERT_NE(printer, nullptr);
    EXPECT_THROW(printer->write(&byte, 1), platform::Failure) << "no document open";
    EXPECT_THROW(printer->endDocument(), platform::Failure) << "no document open";
    printer->startDocument("Tarvo job", "RAW");
    EXPECT_THROW(printer->startDocument("Tarvo job", "RAW"), platform::Failure);
    printer.reset();

    printSection(*spooler, queue.name(), "only this");
    const auto jobs = queue.waitForJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].bytes, "only this");
}

} // namespace
