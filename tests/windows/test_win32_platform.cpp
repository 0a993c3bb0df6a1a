// The Windows platform on real files, with a second Windows process where one is needed.
#include "platform/Clock.h"
#include "platform/DirectoryChanges.h"
#include "platform/Failure.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/SingleInstance.h"
#include "platform/WatchedDirectory.h"
#include "platform/win32/SystemError.h"
#include "tests/support/TestSupport.h"
#include "tests/windows/WindowsTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>

namespace {

using namespace std::chrono_literals;
using platform::joinPath;
using testsupport::exists;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

platform::WatchedDirectory& directory() {
    static const std::unique_ptr<platform::WatchedDirectory> system =
        platform::makeSystemWatchedDirectory();
    return *system;
}

std::string handleText(HANDLE handle) {
    return std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

// Another process that holds the file open, for reading or for writing, until release().
class HeldFile {
public:
    HeldFile(const std::string& path, const std::string& mode)
        : ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          holder_(wintest::testProgram("tarvo_test_helper.exe"),
                  {"hold", path, mode, handleText(ready_), handleText(release_)},
                  {ready_, release_}) {
        EXPECT_EQ(WaitForSingleObject(ready_, 20000), WAIT_OBJECT_0) << "the file is not held";
    }
    ~HeldFile() {
        CloseHandle(ready_);
        CloseHandle(release_);
    }

    // The holder closes the file and ends.
    void release() {
        SetEvent(release_);
        EXPECT_EQ(holder_.wait(20s), 0);
    }

private:
    HANDLE ready_;
    HANDLE release_;
    wintest::Process holder_;
};

TEST(WindowsFiles, TheExclusiveOpenSeesAnotherProcessHoldingTheFile) {
    TempDir dir;
    const std::string path = dir.file("job");
    writeFile(path, "x");
    for (const std::string mode : {"read", "write"}) {
        HeldFile held(path, mode);
        EXPECT_EQ(directory().fileUse(path), platform::FileUse::HeldOpen) << mode;
        held.release();
        EXPECT_EQ(directory().fileUse(path), platform::FileUse::Free) << mode;
    }
    EXPECT_THROW(directory().fileUse(dir.file("missing")), platform::Failure);
}

TEST(WindowsFiles, TheListingYieldsPlainFilesInByteOrderWithoutNamesBeginningWithADot) {
    TempDir dir;
    for (const char* name : {"b", "B1", "a", ".hidden", ".newjob.tmp12-3", "newjob.tmp"}) {
        writeFile(dir.file(name), "x");
    }
    std::filesystem::create_directory(dir.file("sub"));
    std::vector<std::string> names;
    directory().listJobNames(dir.path(), names);
    EXPECT_EQ(names, (std::vector<std::string>{"B1", "a", "b", "newjob.tmp"}));
    EXPECT_TRUE(exists(dir.file(".newjob.tmp12-3")) && exists(dir.file(".hidden")));
}

TEST(WindowsFiles, TheHandOffRenamesTheJobAndNeverReplacesAWorkFile) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string work = joinPath(dir.path(), "newjob");
    writeFile(job, "the job");
    directory().renameFile(job, work);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_FALSE(exists(job));
    writeFile(job, "the next job");
    EXPECT_THROW(directory().renameFile(job, work), platform::Failure);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_EQ(readFile(job), "the next job");
}

TEST(WindowsFiles, MovingOrWritingIntoFailedNeverReplacesAnything) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string failed = joinPath(dir.path(), "failed");
    EXPECT_EQ(directory().failedSize(job), 0u);
    writeFile(job, "1");
    EXPECT_EQ(directory().moveToFailed(job, ""), joinPath(failed, "job"));
    writeFile(job, "2");
    EXPECT_EQ(directory().moveToFailed(job, ""), joinPath(failed, "job.1"));
    EXPECT_EQ(readFile(joinPath(failed, "job")), "1");
    EXPECT_EQ(readFile(joinPath(failed, "job.1")), "2");
    // A file written into failed takes its name only once whole; one given up leaves nothing.
    {
        const auto kept = directory().createInFailed(job, "job");
        kept->write(reinterpret_cast<const std::uint8_t*>("333"), 3);
        EXPECT_FALSE(exists(joinPath(failed, "job.2")));
        EXPECT_EQ(kept->keep(), joinPath(failed, "job.2"));
        directory()
            .createInFailed(job, "lost")
            ->write(reinterpret_cast<const std::uint8_t*>("4"), 1);
    }
    EXPECT_EQ(readFile(joinPath(failed, "job.2")), "333");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(failed), {}), 3);
    EXPECT_EQ(directory().failedSize(job), 5u);

    TempDir other;
    writeFile(other.file("failed"), "a file, not a directory");
    writeFile(other.file("job"), "3");
    EXPECT_THROW(directory().moveToFailed(other.file("job"), ""), platform::Failure);
    EXPECT_THROW(directory().createInFailed(other.file("job"), "job"), platform::Failure);
    EXPECT_THROW(directory().failedSize(other.file("job")), platform::Failure);
    EXPECT_EQ(readFile(other.file("job")), "3");
}

TEST(WindowsFiles, AJobFileRemovedWhileOpenStaysReadableAndGoesWhenClosed) {
    TempDir dir;
    const std::string path = dir.file("newjob");
    writeFile(path, "0123456789");
    {
        platform::JobFile file(path);
        file.remove();
        std::uint8_t bytes[4];
        ASSERT_EQ(file.readAt(6, bytes, 4), 4u);
        EXPECT_EQ(std::string(bytes, bytes + 4), "6789");
        ASSERT_EQ(file.read(bytes, 4), 4u);
        EXPECT_EQ(std::string(bytes, bytes + 4), "0123") << "a read at an offset moves nothing";
        EXPECT_EQ(file.length(), 10u);
    }
    EXPECT_EQ(directory().kind(path), platform::EntryKind::Missing);
    EXPECT_THROW(platform::JobFile{dir.path()}, platform::Failure);
}

TEST(WindowsFiles, AnOutputFileIsCreatedAndEmptiedAtItsFirstWriteOnly) {
    TempDir dir;
    writeFile(dir.file("out"), "old content");
    platform::WriteFile(dir.file("out")).close();
    EXPECT_EQ(readFile(dir.file("out")), "old content");

    platform::WriteFile named(dir.path(), "out");
    named.write(reinterpret_cast<const std::uint8_t*>("new"), 3);
    named.close();
    EXPECT_EQ(readFile(dir.file("out")), "new");

    platform::WriteFile(dir.path(), "fresh").close();
    EXPECT_TRUE(exists(dir.file("fresh")));
}

TEST(WindowsChanges, ANewOrWrittenFileSignalsTheHandleOnceTheDirectoryExists) {
    TempDir parent;
    const std::string directory = parent.file("jobs");
    const auto changes = platform::followChanges(directory);
    const auto ready = reinterpret_cast<HANDLE>(changes->readyHandle());
    ASSERT_NE(ready, nullptr);
    EXPECT_FALSE(changes->readChanges()) << "nothing to watch yet";

    std::filesystem::create_directory(directory);
    EXPECT_TRUE(changes->readChanges()) << "a directory watched from now on may hold jobs";
    EXPECT_NE(WaitForSingleObject(ready, 0), WAIT_OBJECT_0);
    writeFile(joinPath(directory, "job"), "@!@1x");
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(changes->readChanges());
    // Windows does not report opens and closes: the sharing check tells.
    EXPECT_EQ(changes->openState("job"), platform::OpenState::Unknown);
}

TEST(WindowsPaths, DeviceAndStreamNamesAreReserved) {
    for (const char* name :
         {"CON", "con.txt", "Nul", "aux.tar.gz", "PRN", "COM1", "com9.log", "LPT1", "lpt9.x",
          "COM0", "LPT\xB9", "CON .txt", "name.", "name ", "a:stream", "a*b", "what?", ""}) {
        EXPECT_TRUE(platform::isReservedFileName(name)) << name;
    }
    for (const char* name : {"CONSOLE", "COM10", "LPT", "NULL.txt", "file.txt", ".profile"}) {
        EXPECT_FALSE(platform::isReservedFileName(name)) << name;
    }
}

TEST(WindowsPaths, ADriveRootKeepsItsSeparator) {
    char windows[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 2u);
    const std::string root = std::string(windows, 2) + "\\";
    const std::string helper =
        root + "tarvo_test_helper_" + std::to_string(GetCurrentProcessId()) + ".exe";
    ASSERT_TRUE(
        CopyFileA(wintest::testProgram("tarvo_test_helper.exe").c_str(), helper.c_str(), FALSE));
    TempDir dir;
    EXPECT_EQ(wintest::Process(helper, {"appdir", dir.file("answer")}).wait(20s), 0);
    DeleteFileA(helper.c_str());
    EXPECT_EQ(readFile(dir.file("answer")), root);
    EXPECT_EQ(joinPath(root, "tarvo.ini"), root + "\\tarvo.ini");
}

TEST(WindowsPaths, TheProgramsOwnFilesAreKnownHoweverTheirNamesAreWritten) {
    TempDir app;
    TempDir other;
    platform::Locations program = platform::systemLocations();
    program.applicationDirectory = app.path();
    program.settingsFile = app.file("tarvo.ini");
    program.logFile = app.file("Tarvo.log");
    std::string backslashed = app.path();
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    EXPECT_TRUE(platform::isProgramFile(program, backslashed + "\\", "TARVO.INI"));
    EXPECT_TRUE(platform::isProgramFile(program, app.path(), "tarvo.log"));
    EXPECT_FALSE(platform::isProgramFile(program, app.path(), "tarvo.txt"));
    EXPECT_FALSE(platform::isProgramFile(program, other.path(), "tarvo.ini"));
}

TEST(WindowsInstance, ASecondProcessMeetsTheFirstAndLearnsItsId) {
    const platform::InstanceLock lock = platform::InstanceLock::claim("");
    ASSERT_TRUE(lock.held());
    TempDir dir;
    EXPECT_EQ(
        wintest::Process(wintest::testProgram("tarvo_test_helper.exe"), {"claim", dir.file("a")})
            .wait(20s),
        0);
    EXPECT_EQ(readFile(dir.file("a")), "running " + std::to_string(GetCurrentProcessId()));
}

TEST(WindowsClock, MidnightShowsTheDateAlone) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mday = 5;
    local.tm_isdst = -1;
    const std::string midnight = platform::generalDate(std::mktime(&local));
    local.tm_hour = 14;
    const std::string afternoon = platform::generalDate(std::mktime(&local));
    EXPECT_FALSE(midnight.empty());
    EXPECT_EQ(afternoon.substr(0, midnight.size() + 1), midnight + " ") << afternoon;
    EXPECT_GT(afternoon.size(), midnight.size() + 4) << afternoon;
}

TEST(WindowsFailures, DescriptionsAreTheSystemsOwnWithoutTheLineEnd) {
    TempDir dir;
    try {
        platform::JobFile missing(dir.file("missing"));
    } catch (const platform::Failure& failure) {
        EXPECT_EQ(failure.what(), platform::win32::systemText(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(std::strpbrk(failure.what(), "\r\n"), nullptr);
        return;
    }
    FAIL() << "a missing file was opened";
}

} // namespace
