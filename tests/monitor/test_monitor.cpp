#include "core/Application.h"
#include "core/Settings.h"
#include "monitor/Monitor.h"
#include "platform/Failure.h"
#include "platform/test/FaultyWatchedDirectory.h"
#include "tests/monitor/HeldFile.h"
#include "tests/support/RecordingTrayView.h"
#include "tests/support/TestSupport.h"
#include "ui/logic/TrayController.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace {

namespace fs = std::filesystem;
using monitortest::HeldFile;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;
using Lines = std::vector<std::string>;

// A watched directory whose nine outputs are "File" outputs out1 to out9 in another directory.
class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() {
        settings.monitorDirectory = watch.path();
        for (int i = 0; i < core::kOutputs; ++i) {
            settings.outputs[i].type = "File";
            settings.outputs[i].target = out.file("out" + std::to_string(i + 1));
        }
        watchDirectory(watch.path());
    }
    ~MonitorTest() override { sandbox.platform().useDirectory(nullptr); }

    // Drops a job of one section for output n.
    void drop(const std::string& name, int n, const std::string& data) {
        writeFile(watch.file(name), "@!@" + std::to_string(n) + data);
    }
    std::string output(int n) const { return readFile(out.file("out" + std::to_string(n))); }
    std::string processing(const std::string& name) const {
        return "Processing " + watch.file(name);
    }
    Lines watchedNames() const {
        Lines names;
        for (const auto& entry : fs::directory_iterator(watch.path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    ::monitor::NextTick tick() { return monitor->tick(); }
    // A monitor of its own for the directory, as a start of the program that watches it has.
    void watchDirectory(const std::string& directory) {
        monitor = std::make_unique<::monitor::Monitor>(
            host, settings, directory, sandbox.platform(), sandbox.log(), unobserved);
    }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir watch;
    testsupport::TempDir out;
    testsupport::RecordingTrayView host;
    routing::UnobservedDeliveries unobserved;
    core::Settings& settings = sandbox.application().settings();
    std::unique_ptr<::monitor::Monitor> monitor;
};

TEST_F(MonitorTest, AnEmptyOrMissingDirectoryOnlyRefreshesTheTooltip) {
    fs::create_directory(watch.file("subdirectory"));
    // A watched directory asks for no tick: only its changes wake the monitor.
    EXPECT_EQ(tick(), std::nullopt);
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor active on " + watch.path());
    // The tick's own look at the directory does not wake the event loop.
    pollfd changes{static_cast<int>(monitor->changesHandle()), POLLIN, 0};
    EXPECT_EQ(::poll(&changes, 1, 0), 0);

    // The tooltip shows the configured directory; the files still come from the watched one,
    // which is looked at every poll interval until it exists.
    settings.monitorDirectory = "/configured/later";
    watchDirectory(watch.file("missing"));
    EXPECT_EQ(tick(), ::monitor::Monitor::kPollInterval);
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor active on /configured/later");
    EXPECT_FALSE(monitor->stopped());
    EXPECT_TRUE(sandbox.logMessages().empty());
    EXPECT_EQ(watchedNames(), Lines{"subdirectory"});

    // Once there, it is watched; gone again, it is looked for from the tick that finds it gone.
    fs::create_directory(watch.file("missing"));
    EXPECT_EQ(tick(), std::nullopt);
    fs::remove(watch.file("missing"));
    EXPECT_EQ(tick(), ::monitor::Monitor::kPollInterval);
}

TEST_F(MonitorTest, CompleteFilesGoInNameOrderUntilATicksTimeIsUp) {
    drop("b", 2, "second");
    drop("a", 1, "first");
    drop("C", 3, "capital");
    fs::create_directory(watch.file("0 subdirectory"));
    for (int i = 0; i < 3 && watchedNames().size() > 1; ++i) {
        tick();
    }
    EXPECT_EQ(sandbox.logMessages(), (Lines{processing("C"), processing("a"), processing("b")}));
    EXPECT_EQ(output(1), "first");
    EXPECT_EQ(output(2), "second");
    EXPECT_EQ(output(3), "capital");
    EXPECT_EQ(watchedNames(), Lines{"0 subdirectory"});

    // A tick that has taken a poll interval leaves the rest to the next one, which it asks for
    // at once.
    platform::FaultyWatchedDirectory slow;
    sandbox.platform().useDirectory(&slow);
    slow.beforeRename = [this] {
        sandbox.platform().fixedClock().advance(std::chrono::milliseconds(120));
    };
    drop("d", 4, "fourth");
    drop("e", 5, "fifth");
    EXPECT_EQ(tick(), std::chrono::milliseconds(0));
    EXPECT_EQ(watchedNames(), (Lines{"0 subdirectory", "e"}));
    // A job that comes before the listing is gone through, its change read by the event loop, is
    // taken by the same tick once it has gone through the listing.
    slow.beforeRename = nullptr;
    drop("f", 6, "sixth");
    EXPECT_TRUE(monitor->changesReady());
    tick();
    EXPECT_EQ(watchedNames(), Lines{"0 subdirectory"});
    EXPECT_EQ(output(5), "fifth");
    EXPECT_EQ(output(6), "sixth");
}

TEST_F(MonitorTest, AChangeThatMayHaveMadeAJobReadyRunsATickAtOnceWhileTheTimerRuns) {
    ui::logic::TrayController window(host, sandbox.application(), watch.path());
    writeFile(out.file("staged"), "@!@1moved in");
    fs::rename(out.file("staged"), watch.file("moved"));
    window.changesReady();
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("moved")});

    // While the monitor is stopped the changes are read, and no job is taken.
    window.setMonitorTimerEnabled(false);
    drop("waiting", 2, "waiting");
    window.changesReady();
    pollfd changes{static_cast<int>(window.changesHandle()), POLLIN, 0};
    EXPECT_EQ(::poll(&changes, 1, 0), 0);
    window.setMonitorTimerEnabled(true);
    window.changesReady();
    EXPECT_EQ(watchedNames(), Lines{"waiting"});
    window.tick();
    EXPECT_EQ(sandbox.logMessages(), (Lines{processing("moved"), processing("waiting")}));
    EXPECT_EQ(output(2), "waiting");
}

TEST_F(MonitorTest, ATickAskedForDuringATickDoesNothing) {
    ui::logic::TrayController window(host, sandbox.application(), watch.path());
    int nested = 0;
    host.duringTick = [&] {
        ++nested;
        drop("job", 1, "once");
        window.tick();
        window.changesReady();
    };
    window.tick();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("job")});
    EXPECT_EQ(output(1), "once");
}

TEST_F(MonitorTest, AFileHeldOpenByAnotherProcessBlocksTheFilesAfterItAndIsNamedAfterAMinute) {
    platform::FixedClock& clock = sandbox.platform().fixedClock();
    drop("a", 1, "first");
    drop("b", 2, "second");
    const Lines named{"frmMain::Timer_timer - Still open by another process, the files after it "
                      "wait: " +
                      watch.file("a")};
    for (int flags : {O_RDONLY, O_WRONLY | O_APPEND}) {
        HeldFile holder(watch.file("a"), flags);
        tick();
        EXPECT_EQ(sandbox.logMessages(), flags == O_RDONLY ? Lines{} : named);
        clock.advance(std::chrono::seconds(60));
        tick();
        EXPECT_EQ(sandbox.logMessages(), named);
        EXPECT_EQ(watchedNames(), (Lines{"a", "b"}));
    }
    // The program starts anew while "a" is written: the file itself tells that it is open.
    {
        HeldFile writer(watch.file("a"), O_WRONLY | O_APPEND);
        watchDirectory(watch.path());
        tick();
        EXPECT_EQ(watchedNames(), (Lines{"a", "b"}));
    }
    EXPECT_TRUE(monitor->changesReady());
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), (Lines{named[0], processing("a"), processing("b")}));
    EXPECT_EQ(output(1), "first");
}

// Runs a writer in a child process: it writes and places a job as start says, then, once let
// go on, writes the rest and closes it.
class ChildWriter {
public:
    explicit ChildWriter(const std::function<int()>& start) {
        int ready[2];
        int go[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(go), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = start();
            char byte = 0;
            const bool placed = fd >= 0 && ::write(ready[1], "r", 1) == 1;
            const bool rest = placed && ::read(go[0], &byte, 1) == 1 &&
                              ::write(fd, " rest", 5) == 5 && ::close(fd) == 0;
            _exit(rest ? 0 : 1);
        }
        ::close(ready[1]);
        ::close(go[0]);
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        go_ = go[1];
    }
    // Lets the writer write the rest and close the file; true when it did.
    bool finish() {
        const bool told = ::write(go_, "g", 1) == 1;
        ::close(go_);
        int status = 0;
        return told && ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }

private:
    pid_t pid_ = -1;
    int go_ = -1;
};

// A file whose opens and closes the directory did not see from its start (linked in, made
// without a name and linked in, or moved in from elsewhere) is asked itself, as a file that was
// there before the watch: a writer still at it holds it back, and the monitor looks again at
// every poll interval, since the writer's close may not be reported.
TEST_F(MonitorTest, AJobLinkedOrMovedInWhileItsWriterWritesOnWaitsForTheWriter) {
    const std::string staged = out.file("staged");
    const std::string job = watch.file("job");
    const auto written = [](int fd) { return fd >= 0 && ::write(fd, "@!@1part", 8) == 8; };
    const std::vector<std::pair<const char*, std::function<int()>>> ways = {
        {"linked in",
         [&] {
             const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             return written(fd) && ::link(staged.c_str(), job.c_str()) == 0 ? fd : -1;
         }},
        {"made without a name",
         [&] {
             const int fd = ::open(watch.path().c_str(), O_TMPFILE | O_WRONLY, 0644);
             const std::string self = "/proc/self/fd/" + std::to_string(fd);
             return written(fd) && ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, job.c_str(),
                                            AT_SYMLINK_FOLLOW) == 0
                        ? fd
                        : -1;
         }},
        {"moved in",
         [&] {
             const int fd = ::open(staged.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
             return written(fd) && ::rename(staged.c_str(), job.c_str()) == 0 ? fd : -1;
         }},
    };
    for (const auto& [way, start] : ways) {
        SCOPED_TRACE(way);
        fs::remove(sandbox.logPath());
        fs::remove(staged);
        ChildWriter writer(start);
        EXPECT_EQ(tick(), ::monitor::Monitor::kPollInterval);
        EXPECT_TRUE(sandbox.logMessages().empty());
        ASSERT_TRUE(writer.finish());
        tick();
        EXPECT_EQ(sandbox.logMessages(), Lines{processing("job")});
        EXPECT_EQ(output(1), "part rest");
    }
}

// Where the use of a file cannot be told (another user's, to an ordinary user), it is taken
// once its size and times have stood still for five seconds, and meanwhile never opened again.
TEST_F(MonitorTest, AJobIsNotTakenWhileItsWriterHasItOpenThoughTheSystemMergedTwoOpens) {
    EXPECT_EQ(tick(), std::nullopt);
    const int writer = ::open(watch.file("job").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "@!@1one", 7), 7);
    // A reader's open right after the writer's is reported as one open, its close as the last.
    ::close(::open(watch.file("job").c_str(), O_RDONLY | O_CLOEXEC));
    tick();
    EXPECT_TRUE(exists(watch.file("job")));
    ASSERT_EQ(::write(writer, " two", 4), 4);
    ::close(writer);
    EXPECT_TRUE(monitor->changesReady());
    tick();
    EXPECT_EQ(output(1), "one two");
}

TEST_F(MonitorTest, AFileWhoseUseCannotBeToldIsTakenOnceUnchangedForFiveSeconds) {
    using std::chrono::seconds;
    platform::FaultyWatchedDirectory undecidable;
    undecidable.undecidable = {watch.file("a")};
    sandbox.platform().useDirectory(&undecidable);
    platform::FixedClock& clock = sandbox.platform().fixedClock();
    drop("a", 1, "first");
    drop("b", 2, "second");
    watchDirectory(watch.path());
    // "b" does not wait for it.
    EXPECT_EQ(tick(), seconds(5));
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("b")});
    clock.advance(seconds(3));
    EXPECT_EQ(tick(), seconds(2));
    // A change starts the five seconds again.
    testsupport::writeFile(watch.file("a"), "@!@1first, longer");
    clock.advance(seconds(2));
    EXPECT_EQ(tick(), seconds(5));
    clock.advance(seconds(5));
    tick();
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{processing("b"),
                     "frmMain::Timer_timer - Cannot tell whether another process has it open, "
                     "taken after five seconds unchanged: " +
                         watch.file("a"),
                     processing("a")}));
    EXPECT_EQ(output(1), "first, longer");
    EXPECT_EQ(undecidable.useAsked[watch.file("a")], 1);
}

TEST_F(MonitorTest, AJobWrittenSlowlyIsTakenWholeOnceItsWriterClosesIt) {
    std::string whole = "@!@1";
    for (int piece = 0; piece < 12; ++piece) {
        whole += "piece " + std::to_string(piece) + ";";
    }
    const std::string path = watch.file("slow");
    const pid_t writer = ::fork();
    if (writer == 0) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        bool written = fd >= 0 && ::write(fd, whole.data(), 4) == 4;
        for (std::size_t at = 4; written && at < whole.size(); at = whole.find(';', at) + 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            const std::size_t length = whole.find(';', at) + 1 - at;
            written = ::write(fd, whole.data() + at, length) == static_cast<ssize_t>(length);
        }
        _exit(written && ::close(fd) == 0 ? 0 : 1);
    }
    for (int i = 0; i < 100 && sandbox.logMessages().empty(); ++i) {
        tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("slow")});
    EXPECT_EQ("@!@1" + output(1), whole);
}

TEST_F(MonitorTest, ALeftoverWorkFileIsProcessedOnceAndNothingStaysBehind) {
    drop("newjob", 1, "left over");
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("newjob")});
    EXPECT_EQ(output(1), "left over");
    EXPECT_TRUE(watchedNames().empty());

    // A leftover work file goes before the files that sort ahead of it, whose hand-off needs
    // its name.
    drop("A", 3, "sorts first");
    drop("newjob", 1, "left over again");
    tick();
    EXPECT_EQ(output(1), "left over again");
    tick();
    EXPECT_EQ(output(3), "sorts first");
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{processing("newjob"), processing("newjob"), processing("A")}));
    EXPECT_TRUE(watchedNames().empty());
}

TEST_F(MonitorTest, OnlyRegularFilesUnderAFinalNameAreJobsAndNeverTheProgramsOwn) {
    // Watching the application directory, beside the settings, the log and the executable.
    watchDirectory(sandbox.dir().path());
    const auto in = [&](const std::string& name) { return sandbox.dir().file(name); };
    writeFile(in("tarvo.ini"), "@!@1settings");
    writeFile(in(fs::read_symlink("/proc/self/exe").filename().string()), "@!@1executable");
    writeFile(in(".a.Xy12Z"), "@!@1a writer's temporary");
    writeFile(out.file("elsewhere"), "@!@1not for this directory");
    fs::create_symlink(out.file("elsewhere"), in("link"));
    writeFile(in("newjob.tmp123-4"), "@!@2a job named like an old temporary");
    for (int i = 0; i < 4; ++i) {
        tick();
    }
    EXPECT_EQ(sandbox.logMessages(), Lines{"Processing " + in("newjob.tmp123-4")});
    EXPECT_EQ(output(2), "a job named like an old temporary");
    EXPECT_FALSE(exists(out.file("out1")));
    EXPECT_TRUE(exists(in(".a.Xy12Z")) && exists(in("link")) && exists(in("tarvo.ini")));
}

TEST_F(MonitorTest, AWorkFileNameTakenByWhatIsNoFileIsMovedIntoFailedAndJobsGoOn) {
    fs::create_directories(watch.file("newjob/inside"));
    drop("a", 1, "first");
    tick();
    tick();
    fs::create_symlink(out.file("elsewhere"), watch.file("newjob"));
    writeFile(out.file("elsewhere"), "@!@3not for this directory");
    tick();
    const std::string kept = ", job kept as " + watch.file("failed/newjob");
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{"frmMain::HandleNewFile - Is a directory" + kept, processing("a"),
                     "frmMain::HandleNewFile - Too many levels of symbolic links" + kept + ".1"}));
    EXPECT_EQ(output(1), "first");
    EXPECT_FALSE(exists(out.file("out3")));
    EXPECT_TRUE(fs::is_directory(watch.file("failed/newjob/inside")));
    EXPECT_TRUE(fs::is_symlink(watch.file("failed/newjob.1")));
    EXPECT_FALSE(monitor->stopped());
}

TEST_F(MonitorTest, AJobThatCannotBeKeptStaysInPlaceAndIsPassedOverUntilItChanges) {
    platform::FaultyWatchedDirectory faulty;
    sandbox.platform().useDirectory(&faulty);
    faulty.renameFailure = "Disk full";
    faulty.moveFailure = "Read-only file system";
    drop("a", 1, "first");
    tick();
    faulty.renameFailure.clear();
    drop("b", 2, "second");
    tick();
    tick();
    drop("a", 1, "first, written again");
    tick();
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{"frmMain::HandleNewFile - Disk full, job left in place until it changes "
                     "(moving it into failed: Read-only file system): " +
                         watch.file("a"),
                     processing("b"), processing("a")}));
    EXPECT_EQ(output(1), "first, written again");
    EXPECT_TRUE(watchedNames().empty());
}

// Makes the calls meanwhile as an ordinary user, who cannot read or write everything nor look
// at another user's processes. When the test runs as root: with the effective user and group
// nobody, to whom the directories are given first, and as root again when the object goes;
// otherwise as the user that runs the test.
class OrdinaryUser {
public:
    explicit OrdinaryUser(const Lines& directories) {
        if (!asRoot_) {
            return;
        }
        for (const std::string& directory : directories) {
            if (::chown(directory.c_str(), kNobody, kNobody) != 0) {
                return;
            }
        }
        ready_ = ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~OrdinaryUser() {
        if (asRoot_ && (::seteuid(0) != 0 || ::setegid(0) != 0)) {
            std::abort();
        }
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

    // False when root could not become nobody.
    bool ready() const { return ready_; }

    static constexpr uid_t kNobody = 65534;

private:
    const bool asRoot_ = ::geteuid() == 0;
    bool ready_ = !asRoot_;
};

TEST_F(MonitorTest, WhatCannotBeExaminedOrWrittenIsLoggedOnceAndTheJobsGoOn) {
    drop("a unreadable", 1, "unreadable at first");
    drop("c", 2, "third");
    Lines expected{"frmMain::Timer_timer - Permission denied, passed over: " +
                   watch.file("a unreadable")};
    if (::geteuid() == 0) {
        // Another user's file, whose use cannot be told: it waits five seconds unchanged, and
        // the files after it go meanwhile.
        drop("b foreign", 4, "of another user");
        for (const char* name : {"a unreadable", "c"}) {
            ASSERT_EQ(
                ::chown(watch.file(name).c_str(), OrdinaryUser::kNobody, OrdinaryUser::kNobody), 0);
        }
    }
    ::chmod(watch.file("a unreadable").c_str(), 0);
    // The files were there before the program started: only the files themselves can tell.
    watchDirectory(watch.path());
    {
        OrdinaryUser user({watch.path(), out.path(), sandbox.dir().path()});
        ASSERT_TRUE(user.ready());
        // "d" waits while the directory is read-only for a while.
        tick();
        drop("d", 3, "fourth");
        ::chmod(watch.path().c_str(), 0555);
        tick();
        tick();
        ::chmod(watch.path().c_str(), 0755);
        tick();
        ::chmod(watch.file("a unreadable").c_str(), 0644);
        tick();
        tick();
    }
    expected.insert(expected.end(),
                    {processing("c"),
                     "frmMain::Timer_timer - Permission denied, no job is taken until the "
                     "directory can be written: " +
                         watch.path(),
                     processing("d"), processing("a unreadable")});
    EXPECT_EQ(sandbox.logMessages(), expected);
    EXPECT_EQ(output(1), "unreadable at first");
    EXPECT_EQ(output(3), "fourth");
}

TEST_F(MonitorTest, AnOrdinaryUserTakesAnotherUsersJobsOnceClosedOrUnchangedForFiveSeconds) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root, to write the jobs as one user and take them as another";
    }
    // Root's jobs: one written, then held open for appending, whose closing the directory's
    // changes tell; one moved in from elsewhere, whose writer may still have it open, which
    // neither the changes nor the file can tell another user: it is taken once it has stood
    // unchanged for five seconds.
    drop("a", 1, "written");
    std::optional<HeldFile> writer;
    writer.emplace(watch.file("a"), O_WRONLY | O_APPEND);
    writeFile(out.file("staged"), "@!@2moved in");
    fs::rename(out.file("staged"), watch.file("b"));
    const Lines directories{watch.path(), out.path(), sandbox.dir().path()};
    {
        OrdinaryUser user(directories);
        ASSERT_TRUE(user.ready());
        tick();
    }
    EXPECT_TRUE(sandbox.logMessages().empty());
    EXPECT_EQ(watchedNames(), (Lines{"a", "b"}));
    writer.reset();
    {
        OrdinaryUser user(directories);
        ASSERT_TRUE(user.ready());
        EXPECT_EQ(tick(), std::chrono::seconds(5));
        EXPECT_EQ(sandbox.logMessages(), (Lines{processing("a")}));
        sandbox.platform().fixedClock().advance(std::chrono::seconds(5));
        tick();
    }
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{processing("a"),
                     "frmMain::Timer_timer - Cannot tell whether another process has it open, "
                     "taken after five seconds unchanged: " +
                         watch.file("b"),
                     processing("b")}));
    EXPECT_EQ(output(1), "written");
    EXPECT_EQ(output(2), "moved in");
}

// Sets or clears the file's immutable flag, which keeps even root from deleting it; false where
// the file system has no such flag.
bool setImmutable(const std::string& path, bool immutable) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    bool done = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return done;
}

TEST_F(MonitorTest, AWorkFileThatCanBeNeitherRemovedNorMovedStopsTheMonitorUntilItCan) {
    drop("newjob", 1, "stuck");
    if (!setImmutable(watch.file("newjob"), true)) {
        GTEST_SKIP() << "the file system of " << watch.path() << " has no immutable flag";
    }
    const std::string refused = "Operation not permitted";
    const std::string notMoved =
        " (moving it into failed: " + refused + "): " + watch.file("newjob");
    const std::string resuming = "Resuming " + watch.file("newjob") +
                                 ", skipping the 1 sections delivered before the program stopped";
    // Delivered, but its name cannot go: while the directory refuses changes (made read-only
    // meanwhile) the work file waits.
    platform::FaultyWatchedDirectory readOnly;
    readOnly.writableFailure = "Read-only file system";
    readOnly.writableFrom = 2;
    sandbox.platform().useDirectory(&readOnly);
    tick();
    tick();
    EXPECT_FALSE(monitor->stopped());
    sandbox.platform().useDirectory(nullptr);
    // Neither removed nor moved: the monitor stops, and tries again every ten seconds, quietly.
    EXPECT_EQ(tick(), std::chrono::seconds(10));
    EXPECT_TRUE(monitor->stopped());
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor stopped, see Tarvo.log");
    EXPECT_EQ(tick(), std::chrono::seconds(10));
    EXPECT_EQ(output(1), "stuck");
    EXPECT_EQ(
        sandbox.logMessages(),
        (Lines{processing("newjob"), "modProcess::LoadFile - " + refused,
               "frmMain::HandleNewFile - Work file not processed, left in place until the "
               "directory can be written" +
                   notMoved,
               "frmMain::Timer_timer - Read-only file system, no job is taken until the "
               "directory can be written: " +
                   watch.path(),
               processing("newjob"), resuming, "modProcess::LoadFile - " + refused,
               "frmMain::HandleNewFile - Work file not processed, monitor stopped" + notMoved}));

    // Once the cause is gone it goes on by itself, without delivering the section again.
    setImmutable(watch.file("newjob"), false);
    fs::remove(sandbox.logPath());
    tick();
    EXPECT_FALSE(monitor->stopped());
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor active on " + watch.path());
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{"frmMain::Timer_timer - The monitor runs again on " + watch.path(),
                     processing("newjob"), resuming}));
    EXPECT_EQ(output(1), "stuck");
    EXPECT_EQ(watchedNames(), Lines{"failed"});
}

TEST_F(MonitorTest, AWatchedDirectoryWithATrailingSeparatorIsUsedAsItIs) {
    watchDirectory(watch.path() + "/");
    drop("a", 1, "first");
    tick();
    EXPECT_EQ(sandbox.logMessages(), Lines{"Processing " + watch.path() + "//a"});
    EXPECT_EQ(output(1), "first");
    EXPECT_TRUE(watchedNames().empty());
}

TEST_F(MonitorTest, ARefusedTooltipEndsEveryTickBeforeTheDirectoryIsRead) {
    host.tooltipFailure = "The tray refused";
    drop("a", 1, "first");
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), Lines(2, "frmMain::Timer_timer - The tray refused"));
    EXPECT_EQ(watchedNames(), Lines{"a"});
}

struct HandOff {
    const char* what;
    bool renameFails = false;
    bool olderWorkFile = false;
    bool jobVanishes = false;
    std::string lineAfterProcessing{};
    Lines namesAfter{};
};

class HandOffOutcome : public MonitorTest, public ::testing::WithParamInterface<HandOff> {};

TEST_P(HandOffOutcome, KeepsTheJobItCannotHandOverAndGoesOn) {
    const HandOff& row = GetParam();
    platform::FaultyWatchedDirectory faulty;
    sandbox.platform().useDirectory(&faulty);
    if (row.renameFails) {
        faulty.renameFailure = "Disk full";
    }
    // What happens between the examination and the hand-off, as it can while another program
    // writes into the directory.
    bool happened = false;
    faulty.beforeRename = [&] {
        if (std::exchange(happened, true)) {
            return;
        }
        if (row.olderWorkFile) {
            writeFile(watch.file("newjob"), "@!@2older work file");
        }
        if (row.jobVanishes) {
            fs::remove(watch.file("job"));
        }
    };
    drop("job", 1, "the job");
    tick();
    // "Processing" is logged for a job really taken.
    Lines expected;
    if (!row.lineAfterProcessing.empty()) {
        expected.push_back("frmMain::HandleNewFile - " + row.lineAfterProcessing +
                           ", job kept as " + watch.file("failed/job"));
    } else if (row.olderWorkFile) {
        // It goes first, then the job, which it did not replace.
        expected = {processing("newjob"), processing("job")};
        EXPECT_EQ(output(2), "older work file");
    } else if (!row.jobVanishes) {
        expected.push_back(processing("job"));
    }
    EXPECT_EQ(sandbox.logMessages(), expected);
    EXPECT_EQ(watchedNames(), row.namesAfter);
    EXPECT_FALSE(monitor->stopped());
    EXPECT_EQ(exists(out.file("out1")), row.lineAfterProcessing.empty() && !row.jobVanishes);
    if (!row.lineAfterProcessing.empty()) {
        EXPECT_EQ(readFile(watch.file("failed/job")), "@!@1the job");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, HandOffOutcome,
    ::testing::Values(HandOff{.what = "everything succeeds"},
                      HandOff{.what = "the rename fails",
                              .renameFails = true,
                              .lineAfterProcessing = "Disk full",
                              .namesAfter = {"failed"}},
                      HandOff{.what = "a work file came meanwhile", .olderWorkFile = true},
                      HandOff{.what = "the job file vanished", .jobVanishes = true}));

} // namespace
