#include "ProcessFixture.h"
#include "tests/support/posix/ChildProcess.h"

#include <filesystem>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Lines = std::vector<std::string>;
using Printed = std::vector<std::pair<std::string, std::string>>;

TEST_P(ProcessTest, UnloadableJobIsLoggedDeletedAndDeliversNothing) {
    setRow(1, "Report", "P1");
    runJob("@!@1first job");
    ASSERT_EQ(spooler.documents.size(), 1u);

    // Empty: nothing of the previous job is scanned again.
    runJob("");
    EXPECT_FALSE(testsupport::exists(jobPath()));

    // Missing: another Tarvo on the directory took it meanwhile, which is no failure.
    processFile(sandbox.dir().file("no such job"));

    EXPECT_EQ(log(), Lines{"modProcess::LoadFile - Subscript out of range"});
    EXPECT_EQ(spooler.documents.size(), 1u);
}

// Offsets and counts are 64-bit: a job of 2^30 bytes and more (a sparse file) is routed. Read in
// the real blocks only.
class LargeJobTest : public ProcessTest {};
INSTANTIATE_TEST_SUITE_P(RealBlocks, LargeJobTest,
                         ::testing::Values(routing::JobProcessor::kBlockSize));

TEST_P(LargeJobTest, JobOfAGibibyteAndMoreIsRouted) {
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

// A work file that cannot be opened is left for the monitor to keep aside, never deleted.
TEST_P(ProcessTest, AWorkFileThatIsAPipeFailsAtOnceAndIsLeftInPlace) {
    ASSERT_EQ(::mkfifo(jobPath().c_str(), 0666), 0);
    EXPECT_TRUE(testsupport::holdsWithin(10, [&] {
        processFile(jobPath());
        return true;
    })) << "job processing waited for a writer of the pipe";
    EXPECT_EQ(log(), Lines{"modProcess::LoadFile - Invalid argument"});
    EXPECT_TRUE(testsupport::exists(jobPath()));
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

// Keeps the bytes of the one document printed; its first write cuts the job file short through
// a descriptor of its own, as another process that holds the job open could.
class CuttingSpooler final : public platform::Spooler {
public:
    std::unique_ptr<Printer> openPrinter(const std::string&) override {
        return std::make_unique<CuttingPrinter>(*this);
    }
    std::vector<std::string> printerNames() override { return {}; }

    int fd = -1;
    off_t cutTo = -1;
    std::string bytes;
    bool ended = false;

private:
    class CuttingPrinter final : public Printer {
    public:
        explicit CuttingPrinter(CuttingSpooler& spooler) : spooler_(spooler) {}
        void startDocument(const std::string&, const std::string&) override {}
        void startPage() override {}
        void write(const std::uint8_t* data, std::size_t count) override {
            if (spooler_.cutTo >= 0) {
                EXPECT_EQ(::ftruncate(spooler_.fd, std::exchange(spooler_.cutTo, -1)), 0);
            }
            spooler_.bytes.append(data, data + count);
        }
        void endPage() override {}
        std::optional<platform::SpoolJobId> endDocument() override {
            spooler_.ended = true;
            return std::nullopt;
        }

    private:
        CuttingSpooler& spooler_;
    };
};

} // namespace

TEST_P(ProcessTest, JobCutShortWhileItIsReadDeliversWhatWasRead) {
    setRow(1, "Dup Ticket", "P1");
    const auto block = static_cast<off_t>(GetParam());
    for (const off_t cutTo : {2 * block + 10, off_t{0}}) {
        std::filesystem::remove(sandbox.logPath());
        testsupport::writeFile(jobPath(), "@!@1" + std::string(4 * block + 100, 'a'));
        CuttingSpooler cutting;
        cutting.fd = ::open(jobPath().c_str(), O_WRONLY);
        cutting.cutTo = cutTo;
        routing::JobProcessor cuttingProcessor(cutting, sandbox.platform().directory(),
                                               sandbox.platform().locations(), sandbox.log(),
                                               deliveries, GetParam());
        process(cuttingProcessor, jobPath());
        ::close(cutting.fd);
        EXPECT_EQ(log(), Lines{"modProcess::LoadFile - Input past end of file"});
        EXPECT_TRUE(cutting.ended);
        if (cutTo > 0) {
            // Read up to where the job ended, and read back for its copy.
            const std::string read(static_cast<std::size_t>(cutTo) - 4, 'a');
            EXPECT_EQ(cutting.bytes, read + "\r\n\r\n\r\n\r\n" + read + "\x0C");
        } else {
            // What was read before the job was emptied, without the copy that went with it.
            const std::size_t read = cutting.bytes.size() - 8;
            EXPECT_GT(read, 0u);
            EXPECT_EQ(cutting.bytes, std::string(read, 'a') + "\r\n\r\n\r\n\r\n");
        }
    }
}

// A work file that a run left with its progress record goes on from the first section that the
// record does not count as delivered; a record of another file counts for nothing.
TEST_P(ProcessTest, AWorkFileGoesOnFromItsFirstUndeliveredSection) {
    setAllPrinters("Report");
    setRow(7, "NamedFile", out.path());
    const std::string job = "@!@7 a.txt|first@!@2second@!@3third@!@4fourth";
    routing::JobProgress progress(sandbox.dir().file(".newjob.progress"));
    for (const bool recorded : {true, false}) {
        SCOPED_TRACE(recorded);
        spooler.documents.clear();
        std::filesystem::remove(sandbox.logPath());
        testsupport::writeFile(jobPath(), job);
        platform::FileIdentity identity = sandbox.platform().directory().identity(jobPath());
        platform::FileIdentity other = identity;
        ++other.inode;
        progress.begin("job7", recorded ? identity : other);
        progress.delivered(2);
        EXPECT_EQ(processor.process({jobPath(), identity, "", jobPath()}, settings, progress),
                  routing::JobOutcome::Done);
        const Lines expectedLog =
            recorded ? Lines{"Resuming " + jobPath() +
                             ", skipping the 2 sections delivered before the program stopped"}
                     : Lines{};
        EXPECT_EQ(log(), expectedLog);
        const auto expectedPrinted =
            recorded ? Printed{{"P3", "third"}, {"P4", "fourth"}}
                     : Printed{{"P2", "second"}, {"P3", "third"}, {"P4", "fourth"}};
        EXPECT_EQ(printed(), expectedPrinted);
        EXPECT_EQ(testsupport::readFile(outPath("a.txt")), recorded ? "" : "first");
        EXPECT_FALSE(testsupport::exists(jobPath()));
        EXPECT_FALSE(testsupport::exists(progress.path()));
    }
}

// Another Tarvo on the directory routed the work file and removed its name, and a new job took
// the name, before this one locked what it had been handed: neither is routed here, and the new
// job stays for the program that handed it over.
TEST_P(ProcessTest, AWorkFileWhoseNameANewJobTookMeanwhileIsLeftAlone) {
    setAllPrinters("Ticket");
    testsupport::writeFile(jobPath(), "@!@1routed elsewhere");
    const platform::FileIdentity handedOver = sandbox.platform().directory().identity(jobPath());
    // Held open, as the other program holds it, so that the new job cannot reuse its inode.
    const int routedElsewhere = ::open(jobPath().c_str(), O_RDONLY);
    ASSERT_GE(routedElsewhere, 0);
    std::filesystem::remove(jobPath());
    testsupport::writeFile(jobPath(), "@!@1new job");
    routing::JobProgress progress(sandbox.dir().file(".newjob.progress"));
    EXPECT_EQ(processor.process({jobPath(), handedOver, "", jobPath()}, settings, progress),
              routing::JobOutcome::TakenElsewhere);
    ::close(routedElsewhere);
    EXPECT_EQ(testsupport::readFile(jobPath()), "@!@1new job");
    EXPECT_TRUE(spooler.documents.empty());
    EXPECT_EQ(log(), Lines{});
}

// A wait that a stop request cut short ends the job where it stood: the work file and its record
// stay, the section is not kept as undelivered, and the next run delivers it whole, then the rest.
// A printer section kept before it, which had no channel, counts as dealt with: not kept again.
TEST_P(ProcessTest, AJobCutShortByAStopRequestGoesOnWithTheSectionInHand) {
    setAllPrinters("Report");
    setRow(5, "Report", "Nope");
    spooler.failOn = "write";
    spooler.interrupt = true;
    testsupport::writeFile(jobPath(), "@!@5lost@!@1first@!@2second@!@3third");
    const platform::FileIdentity identity = sandbox.platform().directory().identity(jobPath());
    routing::JobProgress progress(sandbox.dir().file(".newjob.progress"));
    EXPECT_EQ(processor.process({jobPath(), identity, "job7", jobPath()}, settings, progress),
              routing::JobOutcome::Interrupted);
    EXPECT_TRUE(testsupport::exists(jobPath()));
    EXPECT_EQ(progress.read(identity)->delivered, 1u);
    EXPECT_EQ(progress.read(identity)->jobName, "job7");
    // A recorded name that would lead out of "failed" is not read back as the job's.
    routing::JobProgress forged(sandbox.dir().file(".forged.progress"));
    forged.begin("../outside", identity);
    EXPECT_EQ(forged.read(identity)->jobName, "");
    forged.end();
    EXPECT_EQ(spooler.openPrinters(), 0);
    const std::string failed = sandbox.dir().file("failed");
    EXPECT_EQ(testsupport::readFile(failed + "/job7.section1"), "@!@5lost");

    spooler.failOn.clear();
    spooler.documents.clear();
    EXPECT_EQ(processor.process({jobPath(), identity, "", jobPath()}, settings, progress),
              routing::JobOutcome::Done);
    EXPECT_EQ(printed(), (Printed{{"P1", "first"}, {"P2", "second"}, {"P3", "third"}}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(failed), {}), 1);
    EXPECT_FALSE(testsupport::exists(jobPath()));
    EXPECT_FALSE(testsupport::exists(progress.path()));
}

INSTANTIATE_TEST_SUITE_P(Blocks, ProcessTest, ::testing::ValuesIn(kBlockSizes));
