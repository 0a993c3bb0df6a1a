// The real program as its users meet it when something goes wrong: killed in the middle of a
// job, a job linked in while its writer writes on, "failed" planted as a link, a start that
// cannot go on.
#include "tests/support/posix/TarvoProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::waitUntil;
using testsupport::writeFile;

constexpr std::size_t kLongSection = 8 << 20;

// A copy of the program watching DIR/jobs, with four File outputs: one.txt, a pipe that the
// test reads, three.txt, and a file in a directory that does not exist.
struct Installed {
    testsupport::TarvoInstall install;
    std::string jobs = install.dir().file("jobs");
    std::string one = install.dir().file("one.txt");
    std::string pipe = install.dir().file("pipe");
    std::string three = install.dir().file("three.txt");
    std::string unwritable = install.dir().file("missing/four.txt");

    Installed() {
        fs::create_directory(jobs);
        ::mkfifo(pipe.c_str(), 0600);
        writeFile(install.iniPath(), "[MAP]\r\n@@1@=" + one + "\r\nType1=File\r\n@@2@=" + pipe +
                                         "\r\nType2=File\r\n@@3@=" + three +
                                         "\r\nType3=File\r\n@@4@=" + unwritable +
                                         "\r\nType4=File\r\n[MONITOR]\r\nPATH=" + jobs + "\r\n");
    }
    std::string processing(const std::string& name) const {
        return "Processing " + jobs + "/" + name;
    }
};

// The read end of the pipe, open while the object lives.
class PipeReader {
public:
    explicit PipeReader(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~PipeReader() { ::close(fd_); }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    // Reads until count bytes are in, the writer has closed the pipe, or nothing came for ten
    // seconds; the number of bytes read.
    std::size_t read(std::size_t count) {
        std::size_t got = 0;
        char bytes[65536];
        while (got < count) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 10000) != 1) {
                break;
            }
            const ssize_t n = ::read(fd_, bytes, std::min(sizeof bytes, count - got));
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        return got;
    }

private:
    int fd_;
};

} // namespace

// Killed in the middle of a section, the program loses nothing: the next start delivers that
// section whole, then the rest, and never the sections delivered or kept before.
TEST(Survival, AKillInTheMiddleOfAJobLosesNoSectionAndRepeatsOnlyTheOneInHand) {
    Installed installed;
    {
        PipeReader reader(installed.pipe);
        const pid_t tarvo = installed.install.start();
        testsupport::dropJob(installed.jobs, "job",
                             "@!@1one@!@4lost@!@2" + std::string(kLongSection, 'P') + "@!@3three");
        ASSERT_EQ(reader.read(1 << 20), std::size_t{1} << 20) << "the long section is in hand";
        ASSERT_EQ(::kill(tarvo, SIGKILL), 0);
        testsupport::waitForExit(tarvo, std::chrono::seconds(10));
    }
    EXPECT_EQ(readFile(installed.one), "one");
    EXPECT_FALSE(testsupport::exists(installed.three));
    EXPECT_TRUE(testsupport::exists(installed.jobs + "/newjob"));
    const std::string kept = installed.jobs + "/failed/job.section2";
    EXPECT_EQ(readFile(kept), "@!@4lost");
    // What the first section gave is gone meanwhile: a section delivered again would bring it
    // back.
    fs::remove(installed.one);

    PipeReader reader(installed.pipe);
    testsupport::RunningTarvo tarvo(installed.install);
    EXPECT_EQ(reader.read(kLongSection + 1), kLongSection) << "the section in hand, whole";
    EXPECT_TRUE(waitUntil([&] { return readFile(installed.three) == "three"; }));
    EXPECT_FALSE(testsupport::exists(installed.one));
    // The work file and its record are gone, and the section kept before is not kept again.
    EXPECT_TRUE(waitUntil([&] {
        return std::distance(fs::directory_iterator(installed.jobs), {}) == 1 &&
               std::distance(fs::directory_iterator(installed.jobs + "/failed"), {}) == 1;
    }));
    EXPECT_EQ(installed.install.logMessages(),
              (std::vector<std::string>{
                  installed.processing("job"), "modProcess::OpenOutput - No such file or directory",
                  "modProcess::CloseOutput - Bad file name or number",
                  "modProcess::KeepSection - Section 2 of job kept as " + kept,
                  installed.processing("newjob"),
                  "Resuming " + installed.jobs +
                      "/newjob, skipping the 2 sections delivered before the program stopped"}));
}

// A hard link made into the directory while the job's writer writes on: the program waits for
// the writer, however the link arrived.
TEST(Survival, AJobLinkedInWhileItsWriterWritesOnIsTakenWholeOnceItIsClosed) {
    Installed installed;
    testsupport::RunningTarvo tarvo(installed.install);
    const std::string staged = installed.install.dir().file("staged");
    const int writer = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_EQ(::write(writer, "@!@1first part", 14), 14);
    ASSERT_EQ(::link(staged.c_str(), (installed.jobs + "/job").c_str()), 0);
    ::usleep(500000);
    EXPECT_TRUE(installed.install.logMessages().empty()) << "taken while its writer writes on";
    ASSERT_EQ(::write(writer, ", second part", 13), 13);
    ASSERT_EQ(::close(writer), 0);
    EXPECT_TRUE(waitUntil([&] { return readFile(installed.one) == "first part, second part"; }));
}

// Anyone who may write the watched directory can plant "failed" as a link and a directory in
// the work file's place: the monitor stops, and goes on by itself once both are gone.
TEST(Survival, AMonitorStoppedByWhatWasPlantedGoesOnOnceItIsGone) {
    Installed installed;
    fs::create_directory_symlink(installed.install.dir().file("nowhere"),
                                 installed.jobs + "/failed");
    fs::create_directory(installed.jobs + "/newjob");
    testsupport::RunningTarvo tarvo(installed.install);
    testsupport::dropJob(installed.jobs, "job", "@!@1routed");
    EXPECT_TRUE(waitUntil([&] { return installed.install.logMessages().size() == 1; }));
    fs::remove(installed.jobs + "/failed");
    fs::remove(installed.jobs + "/newjob");
    EXPECT_TRUE(
        waitUntil([&] { return readFile(installed.one) == "routed"; }, std::chrono::seconds(15)));
    const std::vector<std::string> log = installed.install.logMessages();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_NE(log[0].find(", monitor stopped"), std::string::npos) << log[0];
    EXPECT_EQ(log[1], "frmMain::Timer_timer - The monitor runs again on " + installed.jobs);
    EXPECT_EQ(log[2], installed.processing("job"));
}

// A start that cannot go on ends with a status that a service manager or a script sees.
TEST(Survival, AStartThatCannotGoOnEndsWithAFailingStatus) {
    Installed installed;
    writeFile(installed.install.iniPath(), "[MONITOR]\r\nPATH=\r\n");
    EXPECT_EQ(testsupport::waitForExit(installed.install.start(), std::chrono::seconds(20)), 1);
    // Another Tarvo of the user runs: nothing failed.
    writeFile(installed.install.iniPath(), "[MONITOR]\r\nPATH=" + installed.jobs + "\r\n");
    testsupport::RunningTarvo first(installed.install);
    EXPECT_TRUE(waitUntil([&] { return installed.install.errorLines().size() == 2; }));
    EXPECT_EQ(testsupport::waitForExit(installed.install.start(), std::chrono::seconds(20)), 0);
}
