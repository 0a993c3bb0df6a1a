#include "core/modConfig.h"
#include "core/modMain.h"
#include "monitor/Monitor.h"
#include "platform/Failure.h"
#include "platform/test/FaultyWatchedDirectory.h"
#include "tests/monitor/HeldFile.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using monitortest::HeldFile;
using testsupport::exists;
using testsupport::readFile;
using testsupport::writeFile;
using Lines = std::vector<std::string>;

// The main window's part: records the tooltip and the timer's flag, refuses the tooltip on
// request.
class RecordingHost final : public monitor::Host {
public:
    std::string tooltip;
    bool timerEnabled = true;
    std::string tooltipFailure;

    void setTrayTooltip(const std::string& text) override {
        if (!tooltipFailure.empty()) {
            throw platform::Failure(tooltipFailure);
        }
        tooltip = text;
    }
    void setTimerEnabled(bool enabled) override { timerEnabled = enabled; }
};

// A watched directory whose nine outputs are "File" outputs out1 to out9 in another directory.
class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() {
        modMain::strWatchDir = watch.path();
        modConfig::settings = {};
        modConfig::settings.strMonitorPath = watch.path();
        for (int i = 0; i < modConfig::kOutputs; ++i) {
            modConfig::settings.strMapType[i] = "File";
            modConfig::settings.strMapTarget[i] = out.file("out" + std::to_string(i + 1));
        }
    }
    ~MonitorTest() override { platform::setWatchedDirectory(nullptr); }

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
    void tick() { monitor::Timer_Timer(host); }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir watch;
    testsupport::TempDir out;
    RecordingHost host;
};

TEST_F(MonitorTest, AnEmptyOrMissingDirectoryOnlyRefreshesTheTooltip) {
    fs::create_directory(watch.file("subdirectory"));
    tick();
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor active on " + watch.path());
    EXPECT_EQ(monitor::strCurrentFile, "");

    // The tooltip shows the configured directory; the files still come from the watched one.
    modConfig::settings.strMonitorPath = "/configured/later";
    modMain::strWatchDir = watch.file("missing");
    tick();
    EXPECT_EQ(host.tooltip, "Tarvo - Monitor active on /configured/later");
    EXPECT_EQ(monitor::IsFileOpened(modMain::strWatchDir), monitor::kTrue);
    EXPECT_TRUE(host.timerEnabled);
    EXPECT_TRUE(sandbox.logMessages().empty());
    EXPECT_EQ(watchedNames(), Lines{"subdirectory"});
}

TEST_F(MonitorTest, CompleteFilesGoOnePerTickInNameOrder) {
    drop("b", 2, "second");
    drop("a", 1, "first");
    drop("C", 3, "capital");
    fs::create_directory(watch.file("0 subdirectory"));
    tick();
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("C")});
    EXPECT_EQ(output(3), "capital");
    EXPECT_EQ(watchedNames(), (Lines{"0 subdirectory", "a", "b"}));
    tick();
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), (Lines{processing("C"), processing("a"), processing("b")}));
    EXPECT_EQ(output(1), "first");
    EXPECT_EQ(output(2), "second");
    EXPECT_EQ(watchedNames(), Lines{"0 subdirectory"});
    EXPECT_TRUE(host.timerEnabled);
}

TEST_F(MonitorTest, AFileHeldOpenByAnotherProcessBlocksTheFilesAfterIt) {
    drop("a", 1, "first");
    drop("b", 2, "second");
    for (int flags : {O_RDONLY, O_WRONLY | O_APPEND}) {
        HeldFile holder(watch.file("a"), flags);
        tick();
        tick();
        EXPECT_TRUE(sandbox.logMessages().empty());
        EXPECT_EQ(watchedNames(), (Lines{"a", "b"}));
    }
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), (Lines{processing("a"), processing("b")}));
    EXPECT_EQ(output(1), "first");
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

    // A leftover work file goes before the files that sort ahead of it, whose hand-off would
    // replace it.
    drop("A", 3, "sorts first");
    drop("newjob", 1, "left over again");
    tick();
    EXPECT_EQ(output(1), "left over again");
    tick();
    EXPECT_EQ(output(3), "sorts first");
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{processing("newjob"), processing("newjob"), processing("A")}));
    EXPECT_TRUE(watchedNames().empty());

    // A job file that is another name of the work file itself, as a hand-off stopped between
    // linking the job to the work file and deleting the job file leaves it: the job goes once.
    drop("newjob", 2, "linked");
    fs::create_hard_link(watch.file("newjob"), watch.file("a"));
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), (Lines{processing("newjob"), processing("newjob"),
                                            processing("A"), processing("newjob")}));
    EXPECT_EQ(output(2), "linked");
    EXPECT_TRUE(watchedNames().empty());
    EXPECT_TRUE(host.timerEnabled);
}

TEST_F(MonitorTest, ATemporaryNameLeftByAStoppedHandOffIsRemovedNotRouted) {
    writeFile(watch.file("newjob.tmp1-0"), "@!@2part of ");
    drop("a", 1, "the job");
    tick();
    tick();
    EXPECT_EQ(sandbox.logMessages(), Lines{processing("a")});
    EXPECT_EQ(output(1), "the job");
    EXPECT_TRUE(watchedNames().empty());
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

TEST_F(MonitorTest, AWorkFileThatCannotBeDeletedStopsTheMonitorInsteadOfComingBack) {
    drop("newjob", 1, "stuck");
    if (!setImmutable(watch.file("newjob"), true)) {
        GTEST_SKIP() << "the file system of " << watch.path() << " has no immutable flag";
    }
    tick();
    setImmutable(watch.file("newjob"), false);
    const std::string refused = "Operation not permitted";
    EXPECT_EQ(sandbox.logMessages(),
              (Lines{processing("newjob"), "modProcess::LoadFile - " + refused,
                     "frmMain::HandleNewFile - " + refused, "frmMain::Timer_timer - " + refused}));
    EXPECT_FALSE(host.timerEnabled);
    EXPECT_FALSE(exists(out.file("out1")));
}

TEST_F(MonitorTest, AWatchedDirectoryWithATrailingSeparatorIsUsedAsItIs) {
    modMain::strWatchDir = watch.path() + "/";
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
    EXPECT_TRUE(host.timerEnabled);
}

struct HandOff {
    const char* what;
    bool copyFails;
    bool olderWorkFile;
    bool jobUndeletable;
    Lines linesAfterProcessing;
    Lines namesAfter;
    bool timerEnabled;
};

class HandOffOutcome : public MonitorTest, public ::testing::WithParamInterface<HandOff> {};

TEST_P(HandOffOutcome, LogsLeavesFilesAndSetsTheTimerAsTabled) {
    const HandOff& row = GetParam();
    platform::FaultyWatchedDirectory faulty;
    platform::setWatchedDirectory(&faulty);
    if (row.copyFails) {
        faulty.copyFailure = "Disk full";
    }
    if (row.olderWorkFile) {
        // It appears after the examination chose the job, as it can while another program
        // writes into the directory.
        faulty.beforeCopy = [this] { writeFile(watch.file("newjob"), "older work file"); };
    }
    if (row.jobUndeletable) {
        faulty.undeletable.insert(watch.file("job"));
    }
    drop("job", 1, "the job");
    tick();
    Lines expected{processing("job")};
    expected.insert(expected.end(), row.linesAfterProcessing.begin(),
                    row.linesAfterProcessing.end());
    EXPECT_EQ(sandbox.logMessages(), expected);
    EXPECT_EQ(watchedNames(), row.namesAfter);
    EXPECT_EQ(host.timerEnabled, row.timerEnabled);
    EXPECT_EQ(exists(out.file("out1")), !row.copyFails && !row.jobUndeletable);
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, HandOffOutcome,
    ::testing::Values(HandOff{"everything succeeds", false, false, false, {}, {}, true},
                      HandOff{"the copy fails with no work file",
                              true,
                              false,
                              false,
                              {"frmMain::HandleNewFile - Disk full",
                               "frmMain::Timer_timer - No such file or directory"},
                              {},
                              false},
                      HandOff{"the copy fails with an older work file",
                              true,
                              true,
                              false,
                              {"frmMain::HandleNewFile - Disk full"},
                              {},
                              true},
                      HandOff{"deleting the job file fails",
                              false,
                              false,
                              true,
                              {"frmMain::HandleNewFile - Permission denied",
                               "frmMain::Timer_timer - Permission denied"},
                              {"job", "newjob"},
                              false}));

} // namespace
