// Stopping the real program from outside: a request to stop ends it only once the job in hand
// has been routed to its end; a second request ends it at once.
#include "tests/e2e/TarvoProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::readFile;

namespace {

constexpr std::size_t kSectionBytes = 1 << 20;

// A running program whose output 1 is a pipe read by the test and whose output 2 is a file;
// the job in hand writes a long section into the pipe, then a short one into the file.
struct SlowJob {
    e2e::TarvoInstall install;
    std::string watched = install.dir().file("jobs");
    std::string pipe = install.dir().file("pipe");
    std::string second = install.dir().file("second.txt");
    pid_t pid = -1;
    int reader = -1;
    std::size_t drained = 0;

    SlowJob() {
        std::filesystem::create_directory(watched);
        EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
        testsupport::writeFile(install.iniPath(),
                               "[MAP]\r\n@@1@=" + pipe + "\r\nType1=File\r\n@@2@=" + second +
                                   "\r\nType2=File\r\n[MONITOR]\r\nPATH=" + watched + "\r\n");
        reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
        pid = install.start();
        e2e::dropJob(watched, "job", "@!@1" + std::string(kSectionBytes, 'A') + "@!@2second");
        // The first bytes of the long section: the job is in hand.
        EXPECT_GT(readSome(), 0u);
    }
    ~SlowJob() {
        close(reader);
        e2e::waitForExit(pid, std::chrono::seconds(5));
    }

    // Waits for bytes from the pipe and reads them; 0 once the writer has closed it.
    std::size_t readSome() {
        pollfd ready{reader, POLLIN, 0};
        if (poll(&ready, 1, 10000) != 1) {
            return 0;
        }
        char bytes[4096];
        const ssize_t got = read(reader, bytes, sizeof bytes);
        if (got <= 0) {
            return 0;
        }
        drained += static_cast<std::size_t>(got);
        return static_cast<std::size_t>(got);
    }

    // Whether the signal is still waiting to be taken by the living process.
    bool pending(int signal) const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        const unsigned long long bit = 1ULL << (signal - 1);
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:\tZ", 0) == 0) {
                return false;
            }
            if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
                if (std::stoull(line.substr(7), nullptr, 16) & bit) {
                    return true;
                }
            }
        }
        return false;
    }
};

} // namespace

TEST(Stopping, ASignalEndsTheProgramOnlyOnceTheJobInHandIsRouted) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        SlowJob job;
        ASSERT_EQ(kill(job.pid, signal), 0);

        while (job.readSome() > 0) {
        }
        EXPECT_EQ(job.drained, kSectionBytes) << "the section was cut short";
        EXPECT_TRUE(e2e::waitUntil([&] { return readFile(job.second) == "second"; }));
        EXPECT_EQ(e2e::waitForExit(job.pid, std::chrono::seconds(10)), 0);
    }
}

TEST(Stopping, ASecondSignalEndsItAtOnce) {
    SlowJob job;
    ASSERT_EQ(kill(job.pid, SIGTERM), 0);
    ASSERT_TRUE(e2e::waitUntil([&] { return !job.pending(SIGTERM); }));
    EXPECT_EQ(waitpid(job.pid, nullptr, WNOHANG), 0) << "the first signal ended it";

    ASSERT_EQ(kill(job.pid, SIGTERM), 0);
    EXPECT_EQ(e2e::waitForExit(job.pid, std::chrono::seconds(5)), 128 + SIGTERM);
    EXPECT_FALSE(testsupport::exists(job.second));
}
