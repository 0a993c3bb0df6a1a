#include "ProcessFixture.h"

#include <random>

using Printed = std::vector<std::pair<std::string, std::string>>;

TEST_F(ProcessTest, WorkedExampleTicketAndLabel) {
    const std::string job("\x40\x21\x40\x31"
                          "ABC\r\n"
                          "\x40\x21\x40\x33"
                          "X\xFF\r\n",
                          17);
    setRow(1, "Ticket", "P1");
    setRow(3, "Label", "P3");
    runJob(job);
    EXPECT_EQ(printed(), (Printed{{"P1", "ABC\r\n\r\n\r\n"}, {"P3", "X\x0C\r\n\r\n"}}));

    setRow(1, "Dup Ticket", "P1");
    runJob(job);
    ASSERT_EQ(spooler.documents.size(), 4u);
    EXPECT_EQ(printed()[2].second, "ABC\r\n\r\n\r\n\r\nABC\x0C");
    for (const auto& d : spooler.documents) {
        EXPECT_EQ(d.title, "Tarvo job");
        EXPECT_EQ(d.datatype, "RAW");
        EXPECT_TRUE(d.ended);
    }
    EXPECT_EQ(spooler.openPrinters(), 0);
    EXPECT_TRUE(log().empty());
    EXPECT_FALSE(testsupport::exists(jobPath()));
}

// Every row a "Report" printer, so that each section arrives trimmed and without a trailer.
TEST_F(ProcessTest, MarkerRules) {
    struct Case {
        std::string job;
        Printed expected;
    };
    const std::vector<Case> cases = {
        {"ABCD", {}},
        {"no marker at all", {}},
        {"lead@!@1X", {{"P1", "X"}}},
        {"@!@1X", {{"P1", "X"}}},                     // marker at N - 5
        {"AB@!@1", {}},                               // marker at N - 4 is data
        {"@!@1AB@!@2", {{"P1", "AB@!@2"}}},           // the last four bytes are data
        {"@!@1AB@!@2C", {{"P1", "AB"}, {"P2", "C"}}}, // one more byte opens output 2
        {"@!@0X", {}},                                // digit 0 is no marker
        {"@!@1A@!@0B@!@:C@!@/D", {{"P1", "A@!@0B@!@:C@!@/D"}}},
        {"@!@!@1X", {{"P1", "X"}}}, // the marker starts at the third byte
        {"@!@1@!@!@2Q", {{"P1", "@!"}, {"P2", "Q"}}},
        {"@!@9x@!@9y", {{"P9", "x"}, {"P9", "y"}}}, // two documents for one output
        {"@!@1AB\r\nCD\n\r\n\n@!@2E\r", {{"P1", "AB\r\nCD"}, {"P2", "E"}}},
        {"@!@1\r\nA\n\r", {{"P1", "\r\nA"}}},
        {std::string("@!@1a\xFF\xFF"
                     "b\xFF",
                     9),
         {{"P1", "a\x0C\x0C"
                 "b\x0C"}}},
    };
    setAllPrinters("Report");
    for (const Case& c : cases) {
        spooler.documents.clear();
        runJob(c.job);
        EXPECT_EQ(printed(), c.expected) << c.job;
    }
    EXPECT_TRUE(log().empty());
}

TEST_F(ProcessTest, EmptySectionsDeliverNothingAndCloseTheirPrinter) {
    setAllPrinters("Ticket");
    runJob("@!@1@!@2X"); // two markers in a row
    runJob("@!@3\r");    // a marker followed by a single CR
    runJob("@!@4\r\n\n\r@!@5Y");
    EXPECT_EQ(
        printed(),
        (Printed{
            {"P1", ""}, {"P2", "X\r\n\r\n\r\n"}, {"P3", ""}, {"P4", ""}, {"P5", "Y\r\n\r\n\r\n"}}));
    EXPECT_EQ(log(),
              (std::vector<std::string>{kAddTrailerEmpty, kCloseOutputEmpty, kAddTrailerEmpty,
                                        kCloseOutputEmpty, kAddTrailerEmpty, kCloseOutputEmpty}));
    EXPECT_EQ(spooler.openPrinters(), 0);
    EXPECT_EQ(std::count(spooler.calls.begin(), spooler.calls.end(), "write"), 2);
}

// The scan copies runs of plain data in bulk; it must give exactly what the byte-by-byte
// rules give. A plain reading of those rules checks random jobs built from the bytes that
// matter.
namespace {

Printed sectionsByTheRules(const std::string& job) {
    Printed result;
    const auto n = static_cast<long>(job.size());
    std::string section;
    int output = 0;
    auto finish = [&] {
        while (!section.empty() && (section.back() == '\r' || section.back() == '\n')) {
            section.pop_back();
        }
        if (output != 0) {
            result.emplace_back("P" + std::to_string(output), section);
        }
        section.clear();
    };
    for (long i = 0; i < n;) {
        if (i <= n - 5 && job[i] == '@' && job[i + 1] == '!' && job[i + 2] == '@' &&
            job[i + 3] >= '1' && job[i + 3] <= '9') {
            finish();
            output = job[i + 3] - '0';
            i += 4;
            continue;
        }
        section += job[i] == '\xFF' ? '\x0C' : job[i];
        ++i;
    }
    finish();
    return result;
}

} // namespace

TEST_F(ProcessTest, BulkScanMatchesTheByteRules) {
    setAllPrinters("Report");
    std::mt19937 random(20240611);
    const std::string alphabet("@@@@!!!123909\xFF\r\nAZ\x00", 19);
    for (int round = 0; round < 3000; ++round) {
        std::string job(1 + random() % 120, ' ');
        for (char& c : job) {
            c = alphabet[random() % alphabet.size()];
        }
        spooler.documents.clear();
        runJob(job);
        const Printed expected = sectionsByTheRules(job);
        ASSERT_EQ(printed(), expected) << testing::PrintToString(job);
    }
}

TEST_F(ProcessTest, ByteThatFindsTheBufferFullIsLoggedAndDropped) {
    // A section buffer of three bytes, filled by the data before the first marker.
    auto& s = modProcess::jobState;
    const std::string job = "ABCDEF";
    s.srcBuffer.reset(new std::uint8_t[job.size()]);
    std::copy(job.begin(), job.end(), s.srcBuffer.get());
    s.nSrcLength = 6;
    s.destBuffer.reset(new std::uint8_t[3]);
    s.nDestLength = 3;
    modProcess::ProcessBuffer();
    EXPECT_EQ(std::string(s.destBuffer.get(), s.destBuffer.get() + 3), "ABC");
    EXPECT_EQ(s.destIndex, 3);
    EXPECT_EQ(log(),
              (std::vector<std::string>{
                  "modProcess::BufferByte - Subscript out of range, nSrcIndex: 3, destIndex: 3",
                  "modProcess::BufferByte - Subscript out of range, nSrcIndex: 4, destIndex: 3",
                  "modProcess::BufferByte - Subscript out of range, nSrcIndex: 5, destIndex: 3",
              }));
}
