// Start-up: the settings path, the single-instance rule, the watched directory and its probe.
#include "core/Application.h"
#include "core/Settings.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::AppSandbox;

namespace {

// The settings file of the last start-up, and the directory that it gave the tray window to
// watch.
std::string settingsPath;
std::string watchedDirectory;

// Runs start-up on the sandbox's platform, as a new process of the program would, and tells
// whether the tray window was loaded; what start-up wrote to standard error goes to errors.
bool startUp(AppSandbox& sandbox, std::string* errors = nullptr) {
    bool loaded = false;
    watchedDirectory.clear();
    core::Application application(sandbox.platform(), sandbox.alertBox());
    settingsPath = application.settingsFile().path();
    testing::internal::CaptureStderr();
    const bool running = application.start([&loaded](const std::string& watched) {
        loaded = true;
        watchedDirectory = watched;
    });
    const std::string written = testing::internal::GetCapturedStderr();
    if (errors != nullptr) {
        *errors = written;
    }
    EXPECT_EQ(running, loaded);
    return loaded;
}

// Starts a process that claims the lock in home and keeps it until it is killed.
pid_t holdLockInChild(const std::string& home) {
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        const platform::InstanceLock lock = platform::InstanceLock::claim(home);
        const char claimed = lock.held() ? 'y' : 'n';
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

void endChild(pid_t child) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

std::string iniWithMonitorPath(const std::string& path) {
    return "[MONITOR]\r\nPATH=" + path + "\r\n";
}

} // namespace

// The line that start-up writes to standard error.
std::string startLine(const AppSandbox& sandbox, const std::string& watched, bool exists) {
    return "Tarvo: settings " + sandbox.iniPath() + ", log " + sandbox.logPath() +
           ", watched directory " + watched +
           (exists ? " (exists)\n" : " (missing: jobs are taken once it has been created)\n");
}

TEST(StartUp, WithoutSettingsFileUsesDefaultsLogsNothingAndCreatesNoFile) {
    AppSandbox sandbox;
    std::string errors;
    EXPECT_TRUE(startUp(sandbox, &errors));
    EXPECT_EQ(settingsPath, sandbox.iniPath());
    EXPECT_EQ(watchedDirectory, sandbox.home().file("Tarvo"));
    EXPECT_EQ(errors, startLine(sandbox, watchedDirectory, false));
    EXPECT_FALSE(testsupport::exists(watchedDirectory));
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
}

TEST(StartUp, MissingMonitorDirectoryIsNoFailureAndIsNotCreated) {
    AppSandbox sandbox;
    for (const std::string& path :
         {sandbox.dir().file("missing"), sandbox.dir().file("missing/deeper"),
          sandbox.dir().file("tarvo.ini/through-a-file")}) {
        testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(path));
        EXPECT_TRUE(startUp(sandbox)) << path;
        EXPECT_EQ(watchedDirectory, path);
        EXPECT_FALSE(testsupport::exists(path));
    }
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(sandbox.home().path()));
    std::string errors;
    EXPECT_TRUE(startUp(sandbox, &errors));
    EXPECT_EQ(errors, startLine(sandbox, sandbox.home().path(), true));
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));

    // The line names a row whose target the settings file holds longer than a value may be.
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(sandbox.home().path()) +
                                                  "[MAP]\r\n@@3@=" + std::string(300, 'x') +
                                                  "\r\nType3=File\r\n");
    EXPECT_TRUE(startUp(sandbox, &errors));
    const std::string line = startLine(sandbox, sandbox.home().path(), true);
    EXPECT_EQ(errors, line.substr(0, line.size() - 1) +
                          "; output 3 is not used: its target is longer than 254 bytes\n");
}

TEST(StartUp, AMonitorPathNamingAFileSaysItIsNotAFolder) {
    AppSandbox sandbox;
    const std::string file = sandbox.dir().file("jobs");
    testsupport::writeFile(file, "not a folder");
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(file));
    std::string errors;
    EXPECT_TRUE(startUp(sandbox, &errors));
    EXPECT_EQ(errors, "Tarvo: settings " + sandbox.iniPath() + ", log " + sandbox.logPath() +
                          ", watched directory " + file +
                          " (not a folder: jobs are taken once a folder takes its place)\n");
}

TEST(StartUp, RefusedProbeLogsOneMainLineAndLoadsNoWindow) {
    AppSandbox sandbox;
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(""));
    std::string errors;
    EXPECT_FALSE(startUp(sandbox, &errors));
    EXPECT_EQ(errors, "Tarvo: cannot start: Bad file name or number\n");

    const std::string loop = sandbox.dir().file("loop");
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    testsupport::writeFile(sandbox.iniPath(), iniWithMonitorPath(loop + "/jobs"));
    EXPECT_FALSE(startUp(sandbox));

    EXPECT_EQ(sandbox.logMessages(),
              (std::vector<std::string>{"Main - Bad file name or number",
                                        "Main - Too many levels of symbolic links"}));
}

TEST(StartUp, FailureWhileLoadingTheWindowIsAMainLine) {
    AppSandbox sandbox;
    EXPECT_FALSE(sandbox.application().start([](const std::string&) { throw std::bad_alloc(); }));
    EXPECT_EQ(sandbox.logMessages(), std::vector<std::string>{"Main - Out of memory"});
}

TEST(StartUp, SecondInstanceSaysWhoRunsEndsAtOnceAndTouchesNothing) {
    AppSandbox sandbox;
    const pid_t first = holdLockInChild(sandbox.home().path());

    // A second process of the same user finds the lock taken.
    testing::internal::CaptureStderr();
    const pid_t child = fork();
    if (child == 0) {
        const bool running = sandbox.application().start([](const std::string&) {});
        _exit(running ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tarvo: already running (process " +
                                                          std::to_string(first) +
                                                          "), so this start ends\n");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    endChild(first);
}

TEST(StartUp, LockIsReleasedWhenItsProcessDies) {
    AppSandbox sandbox;
    // Killed without any chance to clean up.
    endChild(holdLockInChild(sandbox.home().path()));
    EXPECT_TRUE(platform::InstanceLock::claim(sandbox.home().path()).held());
}

TEST(StartUp, OneLockPerUserWhateverTheEnvironmentAndTheCopyOfTheProgram) {
    AppSandbox sandbox;
    const std::string place = sandbox.home().file(".tarvo");
    const std::string lock = place + "/.tarvo.lock";
    setenv("XDG_RUNTIME_DIR", sandbox.home().path().c_str(), 1);
    const pid_t first = holdLockInChild(sandbox.home().path());
    EXPECT_EQ(testsupport::readFile(lock), std::to_string(first) + "\n");
    struct stat info {};
    ASSERT_EQ(stat(place.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(lock.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    // A start from cron sees no runtime directory; another copy of the program lies elsewhere.
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(platform::InstanceLock::claim(sandbox.home().path()).runningProcess(), first);
    testsupport::TempDir otherCopy;
    platform::Locations elsewhere = sandbox.platform().locations();
    elsewhere.applicationDirectory = otherCopy.path();
    elsewhere.settingsFile = otherCopy.file("tarvo.ini");
    elsewhere.logFile = otherCopy.file("Tarvo.log");
    platform::TestPlatform otherPlatform(elsewhere, AppSandbox::fixedTime());
    core::Application otherApplication(otherPlatform, sandbox.alertBox());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(otherApplication.start([](const std::string&) {}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Tarvo: already running (process " +
                                                          std::to_string(first) +
                                                          "), so this start ends\n");
    endChild(first);
}

// Where no place can be had that only this user can use, Tarvo does not start: an instance of
// another user's making could keep it from running, or two instances could route a job twice.
TEST(StartUp, ALockPlaceThatAnotherUserCouldUseIsRefused) {
    AppSandbox sandbox;
    const std::string home = sandbox.home().path();
    const std::string place = sandbox.home().file(".tarvo");
    const std::string lock = place + "/.tarvo.lock";
    const auto makePlace = [&] { ASSERT_EQ(mkdir(place.c_str(), 0700), 0); };
    const auto giveAway = [](const std::string& path) {
        ASSERT_EQ(lchown(path.c_str(), 65534, 65534), 0);
    };
    struct Planted {
        std::function<void()> plant;
        std::string refusal;
    };
    std::vector<Planted> cases = {
        {[&] { std::filesystem::create_directory_symlink(sandbox.dir().path(), place); },
         place + ": not a directory"},
        {[&] {
             makePlace();
             std::filesystem::create_symlink(sandbox.dir().file(".tarvo.lock"), lock);
         },
         lock + ": " + std::strerror(ELOOP)},
        {[&] {
             makePlace();
             chmod(place.c_str(), 0777);
         },
         place + ": writable by other users"},
        {[&] { chmod(home.c_str(), 0777); }, home + ": writable by other users"},
    };
    // Only root can give a file to another user.
    if (getuid() == 0) {
        cases.push_back({[&] {
                             makePlace();
                             giveAway(place);
                         },
                         place + ": not owned by this user"});
        cases.push_back({[&] {
                             makePlace();
                             testsupport::writeFile(lock, "1\n");
                             giveAway(lock);
                         },
                         lock + ": not owned by this user"});
        cases.push_back({[&] { giveAway(home); }, home + ": not owned by this user"});
    }

    const std::string refused = "No safe place for the single-instance lock: ";
    std::vector<std::string> logged;
    for (const Planted& planted : cases) {
        SCOPED_TRACE(planted.refusal);
        std::filesystem::remove_all(place);
        ASSERT_EQ(chmod(home.c_str(), 0700), 0);
        ASSERT_EQ(chown(home.c_str(), getuid(), getgid()), 0);
        planted.plant();
        std::string errors;
        EXPECT_FALSE(startUp(sandbox, &errors));
        EXPECT_EQ(errors, "Tarvo: cannot start: " + refused + planted.refusal + "\n");
        logged.push_back("Main - " + refused + planted.refusal);
    }
    EXPECT_FALSE(testsupport::exists(sandbox.dir().file(".tarvo.lock")));
    EXPECT_EQ(sandbox.logMessages(), logged);
}

TEST(StartUp, TheProgramsOwnFilesAreKnownInTheApplicationDirectoryOnly) {
    AppSandbox sandbox;
    testsupport::TempDir elsewhere;
    const std::string app = sandbox.dir().path();
    const platform::Locations& program = sandbox.platform().locations();
    for (const char* name : {"tarvo.ini", "tarvo.ini.tmp", "Tarvo.log", "test_startup"}) {
        EXPECT_TRUE(platform::isProgramFile(program, app, name)) << name;
        EXPECT_TRUE(platform::isProgramFile(program, app + "/.", name)) << name;
        EXPECT_FALSE(platform::isProgramFile(program, elsewhere.path(), name)) << name;
    }
    EXPECT_FALSE(platform::isProgramFile(program, app, "TARVO.INI"));
    EXPECT_FALSE(platform::isProgramFile(program, app, "job1"));
}
