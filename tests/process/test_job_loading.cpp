#include "ProcessFixture.h"
#include "tests/support/posix/ChildProcess.h"

#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Lines = std::vector<std::string>;

TEST_P(ProcessTest, UnloadableJobIsLoggedDeletedAndDeliversNothing) {
    setRow(1, "Report", "P1");
    runJob("@!@1first job");
    ASSERT_EQ(spooler.documents.size(), 1u);

    // Empty: nothing of the previous job is scanned again.
    runJob("");
    EXPECT_FALSE(testsupport::exists(jobPath()));

    // Missing.
    processFile(sandbox.dir().file("no such job"));

    EXPECT_EQ(log(), (Lines{"modProcess::LoadFile - Subscript out of range",
                            "modProcess::LoadFile - No such file or directory"}));
    EXPECT_EQ(spooler.documents.size(), 1u);
}

// Offsets and counts are 64-bit: a job of 2^30 bytes and more (a sparse file) is routed.
TEST_P(ProcessTest, JobOfAGibibyteAndMoreIsRouted) {
    if (GetParam() != modProcess::JobProcessor::kBlockSize) {
        GTEST_SKIP() << "read in the real blocks only";
    }
    setRow(1, "Dup Ticket", "P1");
    const int fd = ::open(jobPath().c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, "@!@1tail", 8, off_t{1} << 30), 8);
    ::close(fd);
    processFile(jobPath());
    EXPECT_EQ(printed(), (std::vector<std::pair<std::string, std::string>>{
                             {"P1", "tail\r\n\r\n\r\n\r\ntail\x0C"}}));
    EXPECT_TRUE(log().empty());
    EXPECT_FALSE(testsupport::exists(jobPath()));
}

TEST_P(ProcessTest, AWorkFileThatIsAPipeFailsAtOnceInsteadOfWaitingForAWriter) {
    ASSERT_EQ(::mkfifo(jobPath().c_str(), 0666), 0);
    EXPECT_TRUE(testsupport::holdsWithin(10, [&] {
        processFile(jobPath());
        return true;
    })) << "job processing waited for a writer of the pipe";
    EXPECT_EQ(log(), Lines{"modProcess::LoadFile - Invalid argument"});
    EXPECT_FALSE(testsupport::exists(jobPath()));
}

TEST_P(ProcessTest, WorkFileIsDeletedEvenWhenNoPrinterIsKnown) {
    setRow(1, "Ticket", "Nope");
    runJob("@!@1abc");
    EXPECT_FALSE(testsupport::exists(jobPath()));
    EXPECT_EQ(log(), Lines{"Printer Name not recognized."});
}

TEST_P(ProcessTest, JobPathIsTakenAsTextOfTheProgram) {
    setRow(1, "Report", "P1");
    const std::string path = sandbox.dir().file("työ \xE2\x82\xAC");
    testsupport::writeFile(path, "@!@1x");
    processFile(path);
    EXPECT_FALSE(testsupport::exists(path));
    EXPECT_EQ(spooler.documents.size(), 1u);
}

namespace {

// The spooler double, but its first write first cuts the job file short through a descriptor
// of its own, as another process that holds the job open could.
class CuttingSpooler final : public platform::Spooler {
public:
    CuttingSpooler(platform::Spooler& spooler, const std::string& job) : to(spooler) {
        fd = ::open(job.c_str(), O_WRONLY);
    }
    ~CuttingSpooler() override { ::close(fd); }
    Handle openPrinter(const std::string& name) override { return to.openPrinter(name); }
    void startDocument(Handle h, const std::string& t, const std::string& d) override {
        to.startDocument(h, t, d);
    }
    void startPage(Handle h) override { to.startPage(h); }
    void write(Handle h, const std::uint8_t* data, std::size_t count) override {
        if (cutTo >= 0) {
            EXPECT_EQ(::ftruncate(fd, std::exchange(cutTo, -1)), 0);
        }
        to.write(h, data, count);
    }
    void endPage(Handle h) override { to.endPage(h); }
    void endDocument(Handle h) override { to.endDocument(h); }
    void closePrinter(Handle h) override { to.closePrinter(h); }
    std::vector<std::string> printerNames() override { return to.printerNames(); }

    platform::Spooler& to;
    int fd = -1;
    off_t cutTo = -1;
};

} // namespace

TEST_P(ProcessTest, JobCutShortWhileItIsReadDeliversWhatWasRead) {
    setRow(1, "Dup Ticket", "P1");
    const auto block = static_cast<off_t>(GetParam());
    const std::string job = "@!@1" + std::string(4 * block + 100, 'a');
    const std::string cutShort = "modProcess::LoadFile - Input past end of file";
    for (const off_t cutTo : {2 * block + 10, off_t{0}}) {
        std::filesystem::remove(sandbox.logPath());
        spooler.documents.clear();
        testsupport::writeFile(jobPath(), job);
        CuttingSpooler cutting(spooler, jobPath());
        cutting.cutTo = cutTo;
        platform::setSpooler(&cutting);
        processFile(jobPath());
        platform::setSpooler(&spooler);
        EXPECT_EQ(log(), Lines{cutShort});
        ASSERT_EQ(spooler.documents.size(), 1u);
        EXPECT_TRUE(spooler.documents[0].ended);
        const std::string printed(spooler.documents[0].bytes.begin(),
                                  spooler.documents[0].bytes.end());
        if (cutTo > 0) {
            // Read up to where the job ended, and read back for its copy.
            const std::string read(static_cast<std::size_t>(cutTo) - 4, 'a');
            EXPECT_EQ(printed, read + "\r\n\r\n\r\n\r\n" + read + "\x0C");
        } else {
            // What was read before the job was emptied, without the copy that is gone with it.
            const std::size_t read = printed.size() - 8;
            EXPECT_GT(read, 0u);
            EXPECT_EQ(printed, std::string(read, 'a') + "\r\n\r\n\r\n\r\n");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
