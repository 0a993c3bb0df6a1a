// The system spooler against a real CUPS scheduler whose queues capture what they print.
#include "platform/Failure.h"
#include "platform/Spooler.h"
#include "tests/cups/CupsQueues.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

using cupstest::CaptureQueue;

constexpr const char* kRawFormat = "application/vnd.cups-raw";

// One section as the output channel sends it: a raw document "Tarvo job" of one page.
void printSection(const std::string& printer, const std::string& bytes) {
    platform::Spooler& spooler = platform::spooler();
    const platform::Spooler::Handle handle = spooler.openPrinter(printer);
    ASSERT_NE(handle, 0u) << printer;
    spooler.startDocument(handle, "Tarvo job", "RAW");
    spooler.startPage(handle);
    spooler.write(handle, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    spooler.endPage(handle);
    spooler.endDocument(handle);
    spooler.closePrinter(handle);
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
    for (const std::string& section : sections) {
        printSection(queue.name(), section);
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

    platform::Spooler& spooler = platform::spooler();
    EXPECT_EQ(spooler.openPrinter(""), 0u);
    EXPECT_EQ(spooler.openPrinter("tarvo_no_such_queue"), 0u);
    EXPECT_EQ(spooler.openPrinter("Tarvo_Known_"), 0u);

    const auto handle = spooler.openPrinter(queue.name());
    EXPECT_NE(handle, 0u);
    spooler.closePrinter(handle);

    cupstest::removeQueue(queue.name());
    EXPECT_EQ(spooler.openPrinter(queue.name()), 0u) << "a removed queue still opens";
}

TEST(CupsSpooler, PrinterListFollowsTheInstalledQueues) {
    platform::Spooler& spooler = platform::spooler();
    CaptureQueue first("tarvo_list_first");
    const auto before = spooler.printerNames();
    EXPECT_TRUE(listed(before, first.name()));
    EXPECT_FALSE(listed(before, "tarvo_list_second"));

    {
        CaptureQueue second("tarvo_list_second");
        const auto during = spooler.printerNames();
        EXPECT_TRUE(listed(during, first.name()));
        ASSERT_TRUE(listed(during, second.name()));
        // Every listed name opens as a printer.
        const auto handle = spooler.openPrinter(second.name());
        EXPECT_NE(handle, 0u);
        spooler.closePrinter(handle);
    }
    EXPECT_FALSE(listed(spooler.printerNames(), "tarvo_list_second"));
}

TEST(CupsSpooler, AnInstanceOpensOnlyWhereItIsDefined) {
    CaptureQueue queue("tarvo_instances");
    const std::string options = std::string(std::getenv("HOME")) + "/.cups";
    std::filesystem::create_directories(options);
    testsupport::writeFile(options + "/lpoptions", "Dest tarvo_instances/second\n");

    platform::Spooler& spooler = platform::spooler();
    EXPECT_TRUE(listed(spooler.printerNames(), "tarvo_instances/second"));
    const auto handle = spooler.openPrinter("tarvo_instances/second");
    EXPECT_NE(handle, 0u);
    spooler.closePrinter(handle);
    // A mistyped instance names no printer, rather than the queue without it.
    EXPECT_EQ(spooler.openPrinter("tarvo_instances/secnod"), 0u);
    EXPECT_EQ(spooler.openPrinter("tarvo_instances/"), 0u);
    std::filesystem::remove(options + "/lpoptions");
}

TEST(CupsSpooler, DocumentWithoutCompleteDataPrintsNothing) {
    CaptureQueue queue("tarvo_empty");
    platform::Spooler& spooler = platform::spooler();

    // Ended without data.
    auto handle = spooler.openPrinter(queue.name());
    ASSERT_NE(handle, 0u);
    spooler.startDocument(handle, "Tarvo job", "RAW");
    spooler.startPage(handle);
    spooler.write(handle, nullptr, 0);
    spooler.endPage(handle);
    spooler.endDocument(handle);
    spooler.closePrinter(handle);

    // Closed while its data was still being sent: withdrawn, never half printed.
    handle = spooler.openPrinter(queue.name());
    ASSERT_NE(handle, 0u);
    spooler.startDocument(handle, "Tarvo job", "RAW");
    spooler.startPage(handle);
    const std::string partial = "half a ticket";
    spooler.write(handle, reinterpret_cast<const std::uint8_t*>(partial.data()), partial.size());
    spooler.closePrinter(handle);

    // Opened and closed with no document at all.
    spooler.closePrinter(spooler.openPrinter(queue.name()));

    // Jobs of one queue print in order, so once this one is there nothing else is coming.
    printSection(queue.name(), "after");
    const auto jobs = queue.waitForJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].bytes, "after");
    EXPECT_EQ(cupstest::unfinishedJobs(queue.name()), 0u) << "a withdrawn job was left behind";
}

TEST(CupsSpooler, MisusedHandlesFailWithoutPrinting) {
    CaptureQueue queue("tarvo_handles");
    platform::Spooler& spooler = platform::spooler();
    const std::uint8_t byte = 'x';

    EXPECT_THROW(spooler.startDocument(12345, "Tarvo job", "RAW"), platform::Failure);
    EXPECT_NO_THROW(spooler.closePrinter(12345));

    const auto handle = spooler.openPrinter(queue.name());
    ASSERT_NE(handle, 0u);
    EXPECT_THROW(spooler.write(handle, &byte, 1), platform::Failure) << "no document open";
    spooler.startDocument(handle, "Tarvo job", "RAW");
    EXPECT_THROW(spooler.startDocument(handle, "Tarvo job", "RAW"), platform::Failure);
    spooler.closePrinter(handle);
    EXPECT_THROW(spooler.write(handle, &byte, 1), platform::Failure) << "closed handle";
    EXPECT_THROW(spooler.endDocument(handle), platform::Failure) << "closed handle";

    printSection(queue.name(), "only this");
    const auto jobs = queue.waitForJobs(1);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0].bytes, "only this");
}

} // namespace
