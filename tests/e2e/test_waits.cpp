// The real program against outputs, a print server and a log that would hold it up: none of
// them does, and a request to stop is heard while it waits.
#include "tests/support/posix/TarvoProcess.h"
#include "tests/support/posix/TricklingServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using testsupport::readFile;
using testsupport::TarvoInstall;

namespace {

// A program whose row 1 prints on "tickets", row 2 writes two.txt and row 3 names files in out.
struct Routing {
    TarvoInstall install;
    std::string watched = install.dir().file("jobs");
    std::string out = install.dir().file("out");
    std::string two = out + "/two.txt";

    Routing() {
        std::filesystem::create_directory(watched);
        std::filesystem::create_directory(out);
        testsupport::writeFile(install.iniPath(), "[MAP]\r\n@@1@=tickets\r\nType1=Ticket\r\n"
                                                  "@@2@=" +
                                                      two +
                                                      "\r\nType2=File\r\n"
                                                      "@@3@=" +
                                                      out +
                                                      "\r\nType3=NamedFile\r\n"
                                                      "[MONITOR]\r\nPATH=" +
                                                      watched + "\r\n");
    }

    bool contains(const std::vector<std::string>& lines, const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
};

// Sets an environment variable, for the programs started meanwhile, while the object lives.
class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() { unsetenv(name_); }
    EnvironmentVariable(const EnvironmentVariable&) = delete;
    EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

private:
    const char* name_;
};

// More than a pipe holds, so that a writer would wait.
const std::string kMoreThanAPipeHolds(1 << 20, 'x');

} // namespace

TEST(Waits, APipePlantedInANamedFileDirectoryIsRefusedAndTheNextJobsGoOn) {
    Routing routing;
    // Another user who may write the row's directory makes the pipe and holds it open.
    const std::string planted = routing.out + "/A1.TXT";
    ASSERT_EQ(::mkfifo(planted.c_str(), 0666), 0);
    const int reader = ::open(planted.c_str(), O_RDONLY | O_NONBLOCK);
    testsupport::RunningTarvo tarvo(routing.install);

    testsupport::dropJob(routing.watched, "a", "@!@3 A1.TXT|" + kMoreThanAPipeHolds);
    testsupport::dropJob(routing.watched, "b", "@!@2after");
    EXPECT_TRUE(testsupport::waitUntil([&] { return readFile(routing.two) == "after"; }))
        << "the program is held up";
    EXPECT_TRUE(routing.contains(routing.install.logMessages(),
                                 "modProcess::OpenOutput - File name not allowed"));
    char byte = 0;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "the pipe was written";
    ::close(reader);
}

TEST(Waits, APrintServerThatTricklesItsAnswerHoldsAJobForSecondsAndAStopIsHeard) {
    Routing routing;
    const std::string socket = routing.install.dir().file("cups.sock");
    const testsupport::TricklingServer server(socket);
    const EnvironmentVariable cupsServer("CUPS_SERVER", socket);
    const pid_t pid = routing.install.start();

    testsupport::dropJob(routing.watched, "a", "@!@1ticket@!@2after");
    EXPECT_TRUE(testsupport::waitUntil([&] { return readFile(routing.two) == "after"; },
                                       std::chrono::seconds(30)))
        << "the job was held up";
    EXPECT_TRUE(routing.contains(routing.install.logMessages(), "Printer Name not recognized."));

    // A request to stop while the server trickles ends the program.
    testsupport::dropJob(routing.watched, "b", "@!@1ticket");
    EXPECT_TRUE(testsupport::waitUntil([&] { return server.connections() == 2; }));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(testsupport::waitForExit(pid, std::chrono::seconds(20)), 0);
}

TEST(Waits, ALogThatIsAPipeDoesNotStopTheProgram) {
    Routing routing;
    ASSERT_EQ(::mkfifo(routing.install.logPath().c_str(), 0600), 0);
    testsupport::RunningTarvo tarvo(routing.install);

    testsupport::dropJob(routing.watched, "a", "@!@2routed");
    EXPECT_TRUE(testsupport::waitUntil([&] { return readFile(routing.two) == "routed"; }))
        << "the program is held up by its log";
    const std::vector<std::string> errors = routing.install.errorLines();
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [](const std::string& line) {
        return line.rfind("Tarvo: Main::logError - Not a regular file, not logged: ", 0) == 0 &&
               line.find(" - Processing ") != std::string::npos;
    })) << testing::PrintToString(errors);
}
