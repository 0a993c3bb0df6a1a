// Stopping the real program from outside: a request to stop ends it only once the job in hand
// has been routed to its end; a second request ends it at once.
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

// A running program whose job in hand writes a long section into a pipe that the test drains,
// then a short one into a file.
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
        testsupport::writeFile(install.iniPath(), "[MAP]\r\n@@1@=" + pipe + "\r\nType1=File\r\n" +
                                                      "@@2@=" + second + "\r\nType2=File\r\n" +
                                                      "[MONITOR]\r\nPATH=" + watched + "\r\n");
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

} // namespace

TEST(Stopping, ASignalEndsTheProgramOnlyOnceTheJobInHandIsRouted) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        SlowJob job;
        ASSERT_EQ(kill(job.pid, signal), 0);
        while (job.readSome()) {
        }
        EXPECT_EQ(job.drained, kSectionBytes) << "the section was cut short";
        EXPECT_TRUE(
            testsupport::waitUntil([&] { return testsupport::readFile(job.second) == "second"; }));
        EXPECT_EQ(testsupport::waitForExit(job.pid, std::chrono::seconds(10)), 0);
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
