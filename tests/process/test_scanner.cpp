#include "ProcessFixture.h"

#include "tests/support/JobModel.h"

#include <algorithm>
#include <filesystem>
#include <random>
#include <tuple>

using Printed = std::vector<std::pair<std::string, std::string>>;

TEST_P(ProcessTest, WorkedExampleTicketAndLabel) {
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
TEST_P(ProcessTest, MarkerRules) {
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

TEST_P(ProcessTest, EmptySectionsDeliverNothingAndCloseTheirPrinter) {
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
    // The data and the trailer of the two sections that hold data.
    EXPECT_EQ(std::count(spooler.calls.begin(), spooler.calls.end(), "write"), 4);
}

// The scan reads the job in blocks and writes whole spans; it must give exactly what the
// reference model's byte-by-byte reading of the rules gives, for random jobs built from the
// bytes that matter, and rows of every type. File rows cannot open their files: the model
// counts the lines of that and of a NamedFile header.
TEST_P(ProcessTest, ScanMatchesTheByteByByteRules) {
    std::mt19937 random(20240611);
    const std::string alphabet("@@@@!!!123909\xFF\r\n\r\n|AZ\x00 ", 23);
    const char* types[] = {"Ticket", "Dup Ticket", "Label", "NotUsed",
                           "Report", "ticket",     "File",  "NamedFile"};
    for (int round = 0; round < 2000; ++round) {
        testsupport::ModelRows rows;
        for (int n = 1; n <= 9; ++n) {
            testsupport::ModelRow& row = rows[n - 1];
            row.type = types[random() % std::size(types)];
            row.printerKnown = random() % 4 != 0;
            // Only printers get a name that opens: a File row's opens nothing.
            const bool file = row.type.find("File") != std::string::npos;
            row.target = row.printerKnown && !file ? "P" + std::to_string(n) : out.file("x/f");
            setRow(n, row.type, row.target);
        }
        std::string job(1 + random() % 120, ' ');
        for (char& c : job) {
            c = alphabet[random() % alphabet.size()];
        }
        spooler.documents.clear();
        std::filesystem::remove(sandbox.logPath());
        runJob(job);
        testsupport::ModelFiles files;
        const testsupport::ModelOutcome expected = testsupport::modelJob(job, rows, files);
        std::vector<std::tuple<std::string, std::string, bool>> want;
        std::vector<std::tuple<std::string, std::string, bool>> got;
        for (const auto& d : expected.documents) {
            want.emplace_back(d.printer, d.bytes, d.ended);
        }
        for (const auto& d : spooler.documents) {
            got.emplace_back(d.printer, std::string(d.bytes.begin(), d.bytes.end()), d.ended);
        }
        ASSERT_EQ(got, want) << testing::PrintToString(job);
        const std::vector<std::string> lines = log();
        const auto count = [&](std::string_view text) {
            return static_cast<long>(
                std::count_if(lines.begin(), lines.end(),
                              [&](const std::string& l) { return l.find(text) == 0; }));
        };
        ASSERT_EQ((std::vector<long>{count("Printer Name"), count("modProcess::OpenOutput"),
                                     count("modProcess::AddTrailer"),
                                     count("modProcess::CloseOutput"), long(lines.size())}),
                  (std::vector<long>{expected.unknownPrinters, expected.openFailures,
                                     expected.emptySections, expected.closeFailures,
                                     expected.unknownPrinters + expected.openFailures +
                                         expected.emptySections + expected.closeFailures}))
            << testing::PrintToString(job);
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
