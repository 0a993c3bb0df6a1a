#include "ProcessFixture.h"
#include "tests/support/posix/ChildProcess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Lines = std::vector<std::string>;

TEST_F(ProcessTest, UnloadableJobIsLoggedDeletedAndDeliversNothing) {
    setRow(1, "Report", "P1");
    runJob("@!@1first job");
    ASSERT_EQ(spooler.documents.size(), 1u);

    // Empty: nothing of the previous job is scanned again.
    runJob("");
    EXPECT_FALSE(testsupport::exists(jobPath()));

    // 2^30 bytes (a sparse file): twice its length would not fit a 32-bit count.
    const int fd = ::open(jobPath().c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t{1} << 30), 0);
    ::close(fd);
    modProcess::ProcessFile(jobPath());
    EXPECT_FALSE(testsupport::exists(jobPath()));

    // Missing.
    modProcess::ProcessFile(sandbox.dir().file("no such job"));

    EXPECT_EQ(log(), (Lines{"modProcess::LoadFile - Subscript out of range",
                            "modProcess::LoadFile - Overflow",
                            "modProcess::LoadFile - No such file or directory"}));
    EXPECT_EQ(spooler.documents.size(), 1u);
    EXPECT_EQ(modProcess::jobState.nSrcLength, 0);
}

TEST_F(ProcessTest, AWorkFileThatIsAPipeFailsAtOnceInsteadOfWaitingForAWriter) {
    ASSERT_EQ(::mkfifo(jobPath().c_str(), 0666), 0);
    EXPECT_TRUE(testsupport::holdsWithin(10, [&] {
        modProcess::ProcessFile(jobPath());
        return true;
    })) << "job processing waited for a writer of the pipe";
    EXPECT_EQ(log(), Lines{"modProcess::LoadFile - Invalid argument"});
    EXPECT_FALSE(testsupport::exists(jobPath()));
}

TEST_F(ProcessTest, WorkFileIsDeletedEvenWhenNoPrinterIsKnown) {
    setRow(1, "Ticket", "Nope");
    runJob("@!@1abc");
    EXPECT_FALSE(testsupport::exists(jobPath()));
    EXPECT_EQ(log(), Lines{"Printer Name not recognized."});
}

TEST_F(ProcessTest, JobPathIsTakenAsTextOfTheProgram) {
    setRow(1, "Report", "P1");
    const std::string path = sandbox.dir().file("työ \xE2\x82\xAC");
    testsupport::writeFile(path, "@!@1x");
    modProcess::ProcessFile(path);
    EXPECT_FALSE(testsupport::exists(path));
    EXPECT_EQ(spooler.documents.size(), 1u);
}
