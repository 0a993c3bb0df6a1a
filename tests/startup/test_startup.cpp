// Start-up: the settings path, the single-instance rule, the watched directory and its probe.
#include "core/modConfig.h"
#include "core/modMain.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::AppSandbox;

namespace {

// Runs start-up and tells whether the main window was loaded.
bool startUp() {
    bool loaded = false;
    modConfig::settings = {};
    const bool running = modMain::Main([&loaded] { loaded = true; });
    EXPECT_EQ(running, loaded);
    return loaded;
}

// Starts a process that claims the lock and keeps it until it is killed.
pid_t holdLockInChild() {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const char claimed = platform::claimSingleInstance() ? 'y' : 'n';
        (void)!write(ready[1], &claimed, 1);
        pause();
        _exit(0);
    }
    char claimed = 0;
    EXPECT_EQ(read(ready[0], &claimed, 1), 1);
    EXPECT_EQ(claimed, 'y');
    close(ready[0]);
    close(ready[1]);
    return holder;
}

std::string iniWithMonitorPath(const std::string& path) {
    return "[MONITOR]\r\nPATH=" + path + "\r\n";
}

} // namespace

TEST(StartUp, WithoutSettingsFileUsesDefaultsLogsNothingAndCreatesNoFile) {
    AppSandbox sandbox;
    EXPECT_TRUE(startUp());
    EXPECT_EQ(modConfig::settings.strIniPath, sandbox.iniPath());
    EXPECT_EQ(modMain::strWatchDir, modConfig::settings.strMonitorPath);
    EXPECT_FALSE(modMain::strWatchDir.empty());
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
}

TEST(StartUp, MissingMonitorDirectoryIsNoFailure) {
    AppSandbox sandbox;
    for (const std::string& path :
         {sandbox.dir().file("missing"), sandbox.dir().file("missing/deeper"),
          sandbox.dir().file("tarvo.ini/through-a-file")}) {
        testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(path));
        EXPECT_TRUE(startUp()) << path;
        EXPECT_EQ(modMain::strWatchDir, path);
    }
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
}

TEST(StartUp, RefusedProbeLogsOneMainLineAndLoadsNoWindow) {
    AppSandbox sandbox;
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(""));
    EXPECT_FALSE(startUp());

    const std::string loop = sandbox.dir().file("loop");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(loop + "/jobs"));
    EXPECT_FALSE(startUp());

    EXPECT_EQ(sandbox.logMessages(),
              (std::vector<std::string>{"Main - Bad file name or number",
                                        "Main - Too many levels of symbolic links"}));
}

TEST(StartUp, FailureWhileLoadingTheWindowIsAMainLine) {
    AppSandbox sandbox;
    modConfig::settings = {};
    EXPECT_FALSE(modMain::Main([] { throw std::bad_alloc(); }));
    EXPECT_EQ(sandbox.logMessages(), std::vector<std::string>{"Main - Out of memory"});
}

TEST(StartUp, SecondInstanceEndsAtOnceAndTouchesNothing) {
    AppSandbox sandbox;
    const pid_t first = holdLockInChild();

    // A second process of the same user finds the lock taken.
    const pid_t child = fork();
    if (child == 0) {
        modConfig::settings = {};
        const bool running = modMain::Main([] {});
        _exit(running ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    kill(first, SIGKILL);
    waitpid(first, nullptr, 0);
}

TEST(StartUp, LockIsReleasedWhenItsProcessDies) {
    AppSandbox sandbox;
    const pid_t holder = holdLockInChild();
    // Killed without any chance to clean up.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(platform::claimSingleInstance());
}

TEST(StartUp, TheProgramsOwnFilesAreKnownInTheApplicationDirectoryOnly) {
    AppSandbox sandbox;
    testsupport::TempDir elsewhere;
    const std::string app = sandbox.dir().path();
    for (const char* name : {"tarvo.ini", "tarvo.ini.tmp", "Tarvo.log", "test_startup"}) {
        EXPECT_TRUE(platform::isProgramFile(app, name)) << name;
        EXPECT_TRUE(platform::isProgramFile(app + "/.", name)) << name;
        EXPECT_FALSE(platform::isProgramFile(elsewhere.path(), name)) << name;
    }
    EXPECT_FALSE(platform::isProgramFile(app, "TARVO.INI"));
    EXPECT_FALSE(platform::isProgramFile(app, "job1"));
}
