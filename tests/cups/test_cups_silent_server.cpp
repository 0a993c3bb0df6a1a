// Job processing against print servers that never answer, each a listening socket that nobody
// accepts: the system takes connections for it and nothing ever answers them, or, once its
// backlog is full, takes none at all. And against one that answers a byte a second.
#include "core/Settings.h"
#include "platform/Failure.h"
#include "platform/Signals.h"
#include "process/JobProcessor.h"
#include "tests/support/JobRun.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/ChildProcess.h"
#include "tests/support/posix/TricklingServer.h"

#include <gtest/gtest.h>

#include <cups/cups.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using testsupport::TricklingServer;

// Takes every connection made to the listening socket so far and counts them.
int connectionsMade(int server) {
    ::fcntl(server, F_SETFL, O_NONBLOCK);
    int count = 0;
    for (int connection; (connection = ::accept(server, nullptr, nullptr)) >= 0; ++count) {
        ::close(connection);
    }
    return count;
}

TEST(SilentPrintServer, IsWaitedForOncePerJobAndAskedAgainByTheNext) {
    testsupport::AppSandbox sandbox;
    testsupport::TempDir out;
    core::Settings settings;
    settings.outputs[0] = {"tickets", "Ticket"};
    settings.outputs[1] = {"labels", "Label"};
    settings.outputs[2] = {out.file("after.txt"), "File"};
    const auto spooler = platform::makeSystemSpooler();
    routing::UnobservedDeliveries unobserved;
    routing::JobProcessor processor(*spooler, sandbox.platform().directory(),
                                    sandbox.platform().locations(), sandbox.log(), unobserved);
    // In a child process whose libcups asks the server; true when all jobs ended in time.
    const auto jobsEndWithin = [&](unsigned seconds, const std::string& server, Lines jobs) {
        return testsupport::holdsWithin(seconds, [&] {
            cupsSetServer(server.c_str());
            for (const std::string& job : jobs) {
                testsupport::writeFile(sandbox.dir().file("newjob"), job);
                testsupport::runJob(processor, sandbox, sandbox.dir().file("newjob"), settings);
            }
            return true;
        });
    };

    // Takes connections and never answers.
    sockaddr_un local{AF_UNIX, {}};
    std::strncpy(local.sun_path, out.file("cups.sock").c_str(), sizeof(local.sun_path) - 1);
    const int accepting = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(accepting, reinterpret_cast<sockaddr*>(&local), sizeof(local)), 0);
    ASSERT_EQ(::listen(accepting, 64), 0);
    const std::string job = "@!@1ticket@!@2label@!@1again@!@3after";
    ASSERT_TRUE(jobsEndWithin(60, local.sun_path, {job, job})) << "the jobs did not end";
    EXPECT_EQ(sandbox.failureMessages(), Lines(6, "Printer Name not recognized."));
    EXPECT_EQ(testsupport::readFile(out.file("after.txt")), "after");
    // One connection in each job: its later sections did not try again.
    EXPECT_EQ(connectionsMade(accepting), 2);

    // Takes no connection: six sections that each waited for one would take half a minute.
    sockaddr_in loopback{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof(loopback);
    const int full = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&loopback), length), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    ::getsockname(full, reinterpret_cast<sockaddr*>(&loopback), &length);
    for (int i = 0; i < 3; ++i) {
        ::connect(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0),
                  reinterpret_cast<sockaddr*>(&loopback), length);
    }
    std::remove(sandbox.logPath().c_str());
    ASSERT_TRUE(jobsEndWithin(20, "127.0.0.1:" + std::to_string(ntohs(loopback.sin_port)),
                              {"@!@1a@!@1b@!@1c@!@1d@!@1e@!@1f"}))
        << "the job did not end";
    EXPECT_EQ(sandbox.failureMessages(), Lines(6, "Printer Name not recognized."));
}

TEST(TricklingPrintServer, IsCutAfterFiveSecondsAndTheJobsOtherPrinterSectionsFailAtOnce) {
    testsupport::AppSandbox sandbox;
    testsupport::TempDir out;
    const TricklingServer server(out.file("cups.sock"));
    core::Settings settings;
    settings.outputs[0] = {"tickets", "Ticket"};
    settings.outputs[1] = {"labels", "Label"};
    settings.outputs[2] = {out.file("after.txt"), "File"};
    const std::string job = "@!@1ticket@!@2label@!@1again@!@3after";
    // In a child process whose libcups asks the server; true when both jobs ended in time.
    ASSERT_TRUE(testsupport::holdsWithin(60, [&] {
        cupsSetServer(out.file("cups.sock").c_str());
        const auto spooler = platform::makeSystemSpooler();
        routing::UnobservedDeliveries unobserved;
        routing::JobProcessor processor(*spooler, sandbox.platform().directory(),
                                        sandbox.platform().locations(), sandbox.log(), unobserved);
        for (int i = 0; i < 2; ++i) {
            testsupport::writeFile(sandbox.dir().file("newjob"), job);
            testsupport::runJob(processor, sandbox, sandbox.dir().file("newjob"), settings);
        }
        return true;
    })) << "the jobs did not end";
    EXPECT_EQ(sandbox.failureMessages(), Lines(6, "Printer Name not recognized."));
    EXPECT_EQ(testsupport::readFile(out.file("after.txt")), "after");
    // One connection in each job: its later sections did not try again.
    EXPECT_EQ(server.connections(), 2);
}

TEST(TricklingPrintServer, AskingAboutAPrintersJobsIsCutAfterFiveSeconds) {
    testsupport::TempDir dir;
    const TricklingServer server(dir.file("cups.sock"));
    // In a child process whose libcups asks the server.
    EXPECT_TRUE(testsupport::holdsWithin(20, [&] {
        cupsSetServer(dir.file("cups.sock").c_str());
        const auto spooler = platform::makeSystemSpooler();
        try {
            spooler->askPrinter("tickets", {1});
        } catch (const platform::Failure& failure) {
            return std::string(failure.what()) ==
                   "No answer from the print server within 5 seconds";
        }
        return false;
    })) << "the ask did not fail at its bound";
}

TEST(TricklingPrintServer, AStopRequestCutsItsWaitShort) {
    testsupport::TempDir dir;
    const TricklingServer server(dir.file("cups.sock"));
    // Whether the wait ends with Interrupted. Stop requests are the process's own: they are made
    // in a child.
    const auto interrupted = [&](const std::function<void(platform::Spooler&)>& wait) {
        return testsupport::holdsWithin(20, [&] {
            cupsSetServer(dir.file("cups.sock").c_str());
            platform::catchStopRequests();
            const auto spooler = platform::makeSystemSpooler();
            std::thread stop([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
                ::kill(::getpid(), SIGTERM);
            });
            stop.detach();
            try {
                wait(*spooler);
            } catch (const platform::Interrupted&) {
                return true;
            }
            return false;
        });
    };
    EXPECT_TRUE(interrupted([](platform::Spooler& spooler) { spooler.openPrinter("tickets"); }))
        << "opening the printer did not end with Interrupted";
    EXPECT_TRUE(interrupted([](platform::Spooler& spooler) { spooler.askPrinter("tickets", {1}); }))
        << "asking about the printer did not end with Interrupted";
}

} // namespace
