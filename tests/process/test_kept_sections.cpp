// A section that could not be delivered is kept in "failed" as a job of its own, which delivers
// that section alone when it is dropped in again.
#include "ProcessFixture.h"

#include <filesystem>

using Lines = std::vector<std::string>;
using Printed = std::vector<std::pair<std::string, std::string>>;
using routing::UndeliveredSection;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::string keptLine(int section, const std::string& how) {
    return "modProcess::KeepSection - Section " + std::to_string(section) + " of job" + how;
}

} // namespace

TEST_P(ProcessTest, AnUndeliveredSectionIsKeptAsAJobThatDeliversItAloneOnceTheCauseIsMended) {
    const std::string namedDirectory = out.file("named");
    const std::string filePath = out.file("missing/f.txt");
    setRow(7, "NamedFile", namedDirectory);
    setRow(1, "Ticket", "Nope");
    setRow(2, "File", filePath);
    setRow(3, "Report", "P3");
    setRow(4, "NotUsed", "P4");
    setRow(6, "ticket", "P6");
    // The NamedFile's directory and the File's are missing, printer "Nope" is unknown; a
    // NotUsed row, an unknown type and a section with nothing to deliver are no failures.
    runJob("@!@7 a.txt|named\r\n@!@1ticket\xFF@!@3printed@!@4dropped@!@6unknown@!@1\r\n"
           "@!@2file\r\n");

    const std::string failed = sandbox.dir().file("failed");
    const std::string kept[] = {failed + "/job.section1", failed + "/job.section2",
                                failed + "/job.section7"};
    EXPECT_EQ(readFile(kept[0]), "@!@7 a.txt|named\r\n");
    EXPECT_EQ(readFile(kept[1]), "@!@1ticket\xFF");
    EXPECT_EQ(readFile(kept[2]), "@!@2file\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(failed), {}), 3);
    const std::string notFound = "modProcess::OpenOutput - No such file or directory";
    EXPECT_EQ(sandbox.routingMessages(),
              (Lines{notFound, kCloseOutputNoFile, keptLine(1, " kept as " + kept[0]),
                     "Printer Name not recognized.", keptLine(2, " kept as " + kept[1]),
                     "Printer Name not recognized.", notFound, kCloseOutputNoFile,
                     keptLine(7, " kept as " + kept[2])}));
    const std::string noFile = "No such file or directory";
    EXPECT_EQ(deliveries.undelivered,
              (std::vector<UndeliveredSection>{
                  {7, namedDirectory, OutputType::NamedFile, noFile, kept[0]},
                  {1, "Nope", OutputType::Ticket, "Printer Name not recognized.", kept[1]},
                  {2, filePath, OutputType::File, noFile, kept[2]}}));
    EXPECT_EQ(deliveries.jobsEnded, std::vector<bool>{false});
    EXPECT_EQ(printed(), (Printed{{"P3", "printed"}}));

    // Mended, each kept job dropped in again delivers its section and nothing else.
    spooler.printers.push_back("Nope");
    std::filesystem::create_directory(namedDirectory);
    std::filesystem::create_directory(out.file("missing"));
    spooler.documents.clear();
    std::filesystem::remove(sandbox.logPath());
    for (const std::string& job : kept) {
        std::filesystem::rename(job, jobPath());
        processFile(jobPath());
    }
    EXPECT_EQ(readFile(namedDirectory + "/a.txt"), "named");
    EXPECT_EQ(printed(), (Printed{{"Nope", "ticket\x0C\r\n\r\n\r\n"}}));
    EXPECT_EQ(readFile(filePath), "file");
    EXPECT_TRUE(sandbox.routingMessages().empty());
    EXPECT_TRUE(std::filesystem::is_empty(failed));
    EXPECT_EQ(deliveries.jobsEnded, (std::vector<bool>{false, true, true, true}));
}

// Nothing is deleted to make room: a section that would take "failed" past its limit, or that
// cannot be written there, is named in the log, and the job goes on.
TEST_P(ProcessTest, ASectionIsKeptOnlyWhereFailedCanTakeItWithinItsLimit) {
    setRow(1, "Ticket", "Nope");
    setRow(2, "Report", "P2");
    settings.failedMaxMiB = 1;
    const std::string failed = sandbox.dir().file("failed");
    std::filesystem::create_directory(failed);
    const std::string earlier(std::size_t{1} << 20, 'e');
    writeFile(failed + "/earlier", earlier.substr(20));
    // Ten bytes fit; eleven more would make one byte too many.
    const std::string job = "@!@1first.@!@1second!@!@2printed";
    runJob(job);
    EXPECT_EQ(readFile(failed + "/job.section1"), "@!@1first.");
    EXPECT_FALSE(exists(failed + "/job.section2"));
    EXPECT_EQ(readFile(failed + "/earlier"), earlier.substr(20));
    EXPECT_EQ(
        sandbox.routingMessages(),
        (Lines{"Printer Name not recognized.", keptLine(1, " kept as " + failed + "/job.section1"),
               "Printer Name not recognized.",
               keptLine(2, " not kept: failed would hold more than 1 MiB")}));
    ASSERT_EQ(deliveries.undelivered.size(), 2u);
    EXPECT_EQ(deliveries.undelivered[1].keptAs, std::nullopt);

    // A name that is taken gets a number.
    settings.failedMaxMiB = 2;
    runJob(job);
    EXPECT_EQ(readFile(failed + "/job.section1.1"), "@!@1first.");
    EXPECT_EQ(readFile(failed + "/job.section2"), "@!@1second!");

    // Where "failed" is no directory, nothing is kept.
    std::filesystem::remove_all(failed);
    writeFile(failed, "");
    std::filesystem::remove(sandbox.logPath());
    runJob(job);
    EXPECT_EQ(sandbox.routingMessages(),
              (Lines{"Printer Name not recognized.", keptLine(1, " not kept: Not a directory"),
                     "Printer Name not recognized.", keptLine(2, " not kept: Not a directory")}));
    EXPECT_EQ(printed(), (Printed(3, {"P2", "printed"})));
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
