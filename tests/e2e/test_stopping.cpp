// Stopping the real program from outside: a request to stop ends it once the job in hand has
// been routed to its end, or at once where the job waits for an output; a second request ends it
// at once.
#include "tests/support/posix/TarvoProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kSectionBytes = 1 << 20;

// The settings of a program that writes row 1 to first and row 2 to second, watching watched.
std::string settingsFor(const std::string& first, const std::string& second,
                        const std::string& watched) {
    return "[MAP]\r\n@@1@=" + first + "\r\nType1=File\r\n" + "@@2@=" + second +
           "\r\nType2=File\r\n" + "[MONITOR]\r\nPATH=" + watched + "\r\n";
}

// A running program whose job in hand writes a long section into a pipe that the test reads
// from, then a short one into a file.
struct SlowJob {
    testsupport::TarvoInstall install;
    std::string pipe = install.dir().file("pipe");
    std::string second = install.dir().file("second.txt");
    int reader = (mkfifo(pipe.c_str(), 0600), open(pipe.c_str(), O_RDONLY | O_NONBLOCK));
    pid_t pid = -1;
    std::size_t drained = 0;

    SlowJob() {
        const std::string watched = install.dir().file("jobs");
        std::filesystem::create_directory(watched);
        testsupport::writeFile(install.iniPath(), settingsFor(pipe, second, watched));
        pid = install.start();
        testsupport::dropJob(watched, "job",
                             "@!@1" + std::string(kSectionBytes, 'A') + "@!@2second");
        EXPECT_TRUE(readSome()) << "the job is in hand";
    }
    ~SlowJob() { close(reader); }

    // Reads what the pipe holds, waiting for it; false once the writer has closed it.
    bool readSome() {
        pollfd ready{reader, POLLIN, 0};
        char bytes[65536];
        const ssize_t got = poll(&ready, 1, 10000) == 1 ? read(reader, bytes, sizeof bytes) : 0;
        drained += got > 0 ? static_cast<std::size_t>(got) : 0;
        return got > 0;
    }
};

// A running program whose job in hand opens a file for each of its many sections, then writes
// a last one to another file: it takes a while, and waits for nothing outside the program.
struct LongJob {
    static constexpr int kSections = 600;

    testsupport::TarvoInstall install;
    std::string first = install.dir().file("first.txt");
    std::string second = install.dir().file("second.txt");
    pid_t pid = -1;

    LongJob() {
        const std::string watched = install.dir().file("jobs");
        std::filesystem::create_directory(watched);
        testsupport::writeFile(install.iniPath(), settingsFor(first, second, watched));
        pid = install.start();
        std::string job;
        for (int i = 0; i < kSections; ++i) {
            job += "@!@1x";
        }
        testsupport::dropJob(watched, "job", job + "@!@2second");
        EXPECT_TRUE(testsupport::waitUntil([&] { return !install.logMessages().empty(); }))
            << "the job is in hand";
    }
};

} // namespace

TEST(Stopping, ASignalEndsTheProgramOnlyOnceTheJobInHandIsRouted) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        LongJob job;
        ASSERT_EQ(kill(job.pid, signal), 0);
        EXPECT_EQ(testsupport::waitForExit(job.pid, std::chrono::seconds(60)), 0);
        EXPECT_EQ(testsupport::readFile(job.first), "x");
        EXPECT_EQ(testsupport::readFile(job.second), "second") << "the job was cut short";
    }
}

TEST(Stopping, ASignalEndsAWaitForAnOutputThatTakesNothing) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        SlowJob job;
        ASSERT_EQ(kill(job.pid, signal), 0);
        EXPECT_EQ(testsupport::waitForExit(job.pid, std::chrono::seconds(10)), 0)
            << "the program went on waiting for the pipe";
        while (job.readSome()) {
        }
        EXPECT_LT(job.drained, kSectionBytes);
    }
}

TEST(Stopping, ASecondSignalEndsItAtOnce) {
    SlowJob job;
    ASSERT_EQ(kill(job.pid, SIGTERM), 0);
    ASSERT_EQ(kill(job.pid, SIGINT), 0);
    // Ended by whichever of the two came second, in the middle of the job.
    EXPECT_GT(testsupport::waitForExit(job.pid, std::chrono::seconds(5)), 128);
    EXPECT_FALSE(testsupport::exists(job.second));
}
