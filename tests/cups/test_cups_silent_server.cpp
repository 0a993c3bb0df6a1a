// Job processing against print servers that never answer: a Unix socket that takes connections
// and never reads them, and a TCP port whose queue of connections is full, so that a new one gets
// no answer at all. Each job waits for such a server once, not once per section, and the next
// job asks it again.
#include "core/modConfig.h"
#include "process/modProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cups/cups.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using testsupport::AppSandbox;

// A listening socket that never accepts: the system takes connections for it up to its
// backlog, and nobody ever answers them.
class SilentServer {
public:
    // On a Unix socket at path, with room for every connection the tests make.
    explicit SilentServer(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        bind(reinterpret_cast<sockaddr*>(&address), sizeof(address), 64);
        name_ = path;
    }

    // On a loopback TCP port whose backlog is full, so that new connections are never made.
    SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(reinterpret_cast<sockaddr*>(&address), sizeof(address), 0);
        socklen_t length = sizeof(address);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        for (int& filler : fillers_) {
            filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        }
        name_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    }

    ~SilentServer() {
        for (const int filler : fillers_) {
            ::close(filler);
        }
        ::close(fd_);
    }

    // The server's name as CUPS_SERVER would give it.
    const std::string& name() const { return name_; }

    // Takes every connection made so far and counts them.
    int connectionsMade() {
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        int count = 0;
        for (int connection; (connection = ::accept(fd_, nullptr, nullptr)) >= 0; ++count) {
            ::close(connection);
        }
        return count;
    }

private:
    void bind(const sockaddr* address, socklen_t length, int backlog) {
        ASSERT_EQ(::bind(fd_, address, length), 0);
        ASSERT_EQ(::listen(fd_, backlog), 0);
    }

    int fd_;
    int fillers_[3] = {-1, -1, -1};
    std::string name_;
};

class SilentServerTest : public ::testing::Test {
protected:
    SilentServerTest() {
        modConfig::settings = {};
        modProcess::jobState = {};
    }

    void setRow(int n, const std::string& type, const std::string& target) {
        modConfig::settings.strMapType[n - 1] = type;
        modConfig::settings.strMapTarget[n - 1] = target;
    }

    // Processes the jobs in a child process whose libcups asks server: true when they have all
    // ended within the given seconds.
    bool jobsEndWithin(unsigned seconds, const std::string& server, const Lines& jobs) {
        return testsupport::holdsWithin(seconds, [&] {
            cupsSetServer(server.c_str());
            for (const std::string& job : jobs) {
                testsupport::writeFile(sandbox.dir().file("newjob"), job);
                modProcess::ProcessFile(sandbox.dir().file("newjob"));
            }
            return true;
        });
    }

    AppSandbox sandbox;
    testsupport::TempDir out;
};

TEST_F(SilentServerTest, ServerThatNeverAnswersIsWaitedForOncePerJob) {
    SilentServer server(out.file("cups.sock"));
    setRow(1, "Ticket", "tickets");
    setRow(2, "Label", "labels");
    setRow(3, "File", out.file("after.txt"));
    const std::string job = "@!@1ticket@!@2label@!@1again@!@3after";

    ASSERT_TRUE(jobsEndWithin(60, server.name(), {job, job})) << "the jobs did not end";
    EXPECT_EQ(sandbox.logMessages(), Lines(6, "Printer Name not recognized."));
    EXPECT_EQ(testsupport::readFile(out.file("after.txt")), "after");
    // One connection in each job: its later sections did not try again.
    EXPECT_EQ(server.connectionsMade(), 2);
}

TEST_F(SilentServerTest, ServerThatTakesNoConnectionIsWaitedForOncePerJob) {
    SilentServer server;
    setRow(1, "Ticket", "tickets");
    // Six sections that each waited for the connection would take half a minute.
    ASSERT_TRUE(jobsEndWithin(20, server.name(), {"@!@1a@!@1b@!@1c@!@1d@!@1e@!@1f"}))
        << "the job did not end";
    EXPECT_EQ(sandbox.logMessages(), Lines(6, "Printer Name not recognized."));
}

} // namespace
