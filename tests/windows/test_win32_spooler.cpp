// Printing through the Windows spooler. Wine hands the spooler's documents to the tests' CUPS
// scheduler, whose capture queues are the Windows printers here.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/win32/SystemError.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

namespace {

constexpr const char* kTickets = "tarvo_win_tickets";
constexpr const char* kLabels = "tarvo_win_labels";
constexpr const char* kFollowing = "tarvo_win_following";

struct PrinterClose {
    void operator()(HANDLE printer) const { ClosePrinter(printer); }
};
using PrinterHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, PrinterClose>;

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
    routing::UnobservedDeliveries unobserved;
    routing::JobProcessor processor(*spooler, sandbox.platform().directory(),
                                    sandbox.platform().locations(), sandbox.log(), unobserved);
    testsupport::runJob(processor, sandbox, path, settings);

    const auto tickets = wintest::waitForJobs(kTickets, 1);
    const auto labels = wintest::waitForJobs(kLabels, 1);
    ASSERT_EQ(tickets.size(), 1u);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(tickets[0].bytes, ticket + "\r\n\r\n\r\n");
    EXPECT_EQ(labels[0].bytes, "L\x0c\r\n\r\n");
    EXPECT_EQ(tickets[0].title, "Tarvo job");
    EXPECT_EQ(labels[0].title, "Tarvo job");
    EXPECT_EQ(sandbox.failureMessages(), std::vector<std::string>{"Printer Name not recognized."});
    EXPECT_EQ(testsupport::readFile(sandbox.dir().file("failed/job.section2")), "@!@3lost");
}

// Wine's behaviour: it keeps a job in a queue of its own only while its document is written, and
// at EndDocPrinter hands it on to CUPS and forgets it. GetJobA then fails without setting the last
// error, as it does for any id it does not know; a followed job is Completed as soon as its
// document has ended.
TEST(WindowsSpooler, WineForgetsAJobAtItsDocumentsEndSoItIsCompletedAtOnce) {
    HANDLE opened = nullptr;
    ASSERT_TRUE(OpenPrinterA(const_cast<char*>(kFollowing), &opened, nullptr));
    const PrinterHandle printer(opened);
    DOC_INFO_1A document{const_cast<char*>("Tarvo job"), nullptr, const_cast<char*>("RAW")};
    const DWORD id = StartDocPrinterA(printer.get(), 1, reinterpret_cast<BYTE*>(&document));
    ASSERT_NE(id, 0u);
    std::vector<BYTE> buffer(4096);
    DWORD needed = 0;
    ASSERT_TRUE(
        GetJobA(printer.get(), id, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed));
    EXPECT_EQ(reinterpret_cast<const JOB_INFO_1A*>(buffer.data())->Status, 0u);
    ASSERT_TRUE(EndDocPrinter(printer.get()));
    SetLastError(ERROR_SUCCESS);
    const BOOL found =
        GetJobA(printer.get(), id, 1, buffer.data(), static_cast<DWORD>(buffer.size()), &needed);
    const DWORD error = GetLastError();
    EXPECT_FALSE(found);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));

    const auto spooler = platform::makeSystemSpooler();
    const auto followed = spooler->openPrinter(kFollowing);
    ASSERT_NE(followed, nullptr);
    const std::string bytes = "ticket";
    followed->startDocument("Tarvo job", "RAW");
    followed->startPage();
    followed->write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    followed->endPage();
    const std::optional<platform::SpoolJobId> job = followed->endDocument();
    ASSERT_TRUE(job.has_value());
    EXPECT_EQ(spooler->askPrinter(kFollowing, {*job}),
              (platform::PrinterReport{false, "", {{platform::SpoolJobState::Completed, ""}}}));
    // A printer that is gone is troubled, and its jobs cannot be followed.
    EXPECT_EQ(spooler->askPrinter("tarvo_win_no_such_printer", {*job}),
              (platform::PrinterReport{true,
                                       platform::win32::systemText(ERROR_INVALID_PRINTER_NAME),
                                       {{platform::SpoolJobState::Unknown, ""}}}));
}

} // namespace
