// The Debian package's program run as an installed program: unpacked with dpkg-deb into a root
// of its own, it keeps its settings and its log in the user's XDG directories, writes nothing
// beside itself, and routes a job.
#include "tests/support/posix/TarvoProcess.h"
#include "version.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// Every file and directory below root with its contents, to tell whether anything changed.
std::string snapshot(const std::string& root) {
    std::string state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        state += entry.path().string() + "\n";
        if (entry.is_regular_file()) {
            state += readFile(entry.path().string()) + "\n";
        }
    }
    return state;
}

struct Ended {
    int status = -1;
    std::string out;
};

// Starts the program with the arguments as the user of home, its standard output into the
// descriptor output and its standard error appended to the file errors; its process id.
pid_t start(const std::string& program, const std::vector<std::string>& arguments,
            const testsupport::UserHome& home, const std::string& stateHome,
            const std::string& errors, int output) {
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        dup2(output, STDOUT_FILENO);
        home.enter();
        // The settings in the default place below the home, the log where XDG_STATE_HOME says.
        setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home.dir().path() + "/runtime").c_str(), 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

class InstalledPackage : public ::testing::Test {
protected:
    InstalledPackage() {
        const std::string unpack =
            "dpkg-deb -x '" + std::string(TARVO_DEB) + "' '" + root.path() + "'";
        EXPECT_EQ(std::system(unpack.c_str()), 0) << unpack;
        mkdir((home->dir().path() + "/runtime").c_str(), 0700);
        std::filesystem::create_directories(jobs);
        std::filesystem::create_directories(out);
    }

    // Runs the program to its end; its exit status and standard output.
    Ended run(const std::vector<std::string>& arguments) {
        int pipeEnds[2];
        EXPECT_EQ(pipe(pipeEnds), 0);
        const pid_t pid = start(program, arguments, *home, state, errors, pipeEnds[1]);
        close(pipeEnds[1]);
        Ended result;
        char bytes[4096];
        for (ssize_t got; (got = read(pipeEnds[0], bytes, sizeof bytes)) > 0;) {
            result.out.append(bytes, static_cast<std::size_t>(got));
        }
        close(pipeEnds[0]);
        result.status = testsupport::waitForExit(pid, std::chrono::seconds(20));
        return result;
    }

    testsupport::TempDir root;
    testsupport::TempDir work;
    std::shared_ptr<testsupport::UserHome> home = std::make_shared<testsupport::UserHome>();
    const std::string program = root.path() + "/usr/bin/tarvo";
    const std::string settings = home->dir().path() + "/.config/tarvo/tarvo.ini";
    const std::string state = work.file("state");
    const std::string log = state + "/tarvo/Tarvo.log";
    const std::string jobs = work.file("jobs");
    const std::string out = work.file("out");
    const std::string errors = work.file("stderr");
};

TEST_F(InstalledPackage, KeepsItsFilesInTheUsersDirectoriesAndRoutesAJob) {
    const std::string unpacked = snapshot(root.path());
    std::filesystem::create_directories(home->dir().path() + "/.config/tarvo");
    writeFile(settings, "[MAP]\r\n@@1@=" + out +
                            "/one.txt\r\nType1=File\r\n[MONITOR]\r\nPATH=" + jobs + "\r\n");

    const Ended version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tarvo " TARVO_VERSION "\n");
    const Ended help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  keeps its settings in  " + settings + "\n"), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("  writes its log to      " + log + "\n"), std::string::npos);
    EXPECT_NE(help.out.find("  watches                " + jobs + "\n"), std::string::npos);

    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const pid_t tarvo = start(program, {}, *home, state, errors, devNull);
    close(devNull);
    testsupport::dropJob(jobs, "job1", "ignored@!@1hello\r\n");
    EXPECT_TRUE(testsupport::waitUntil([&] { return readFile(out + "/one.txt") == "hello"; }))
        << readFile(errors);
    EXPECT_TRUE(testsupport::waitUntil([&] { return std::filesystem::is_empty(jobs); }));
    ASSERT_EQ(kill(tarvo, SIGTERM), 0);
    EXPECT_EQ(testsupport::waitForExit(tarvo, std::chrono::seconds(10)), 0);

    EXPECT_EQ(testsupport::logMessages(log),
              std::vector<std::string>{"Processing " + jobs + "/job1"});
    EXPECT_NE(readFile(errors).find("Tarvo: settings " + settings + ", log " + log +
                                    ", watched directory " + jobs + " (exists)\n"),
              std::string::npos)
        << readFile(errors);
    // The log's directory was made for the user alone.
    struct stat info {};
    ASSERT_EQ(stat((state + "/tarvo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_EQ(snapshot(root.path()), unpacked) << "an installed program writes nothing beside it";
}

} // namespace
