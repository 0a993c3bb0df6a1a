#include "platform/Failure.h"
#include "platform/WatchedDirectory.h"
#include "tests/monitor/HeldFile.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <memory>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using monitortest::HeldFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;
using Names = std::vector<std::string>;

platform::WatchedDirectory& real() {
    static const std::unique_ptr<platform::WatchedDirectory> system =
        platform::makeSystemWatchedDirectory();
    return *system;
}

Names namesIn(const std::string& directory) {
    Names names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The job names that the listing gives, in its order.
Names jobNames(const std::string& directory) {
    Names names{"left from an earlier listing"};
    real().listJobNames(directory, names);
    return names;
}

TEST(WatchedDirectoryListing, ListsTheRegularFilesInByteOrder) {
    TempDir dir;
    EXPECT_EQ(jobNames(dir.path()), Names{});
    // Nothing here is a job, though all sort first.
    fs::create_directory(dir.file("0 directory"));
    ASSERT_EQ(::mkfifo(dir.file("1 fifo").c_str(), 0666), 0);
    fs::create_symlink("missing", dir.file("2 dangling"));
    fs::create_directory_symlink(dir.file("0 directory"), dir.file("3 to directory"));
    writeFile(dir.file(".4 hidden"), "x");
    for (const char* name : {"\xc3\xa9", "b", "B", "5 \xff not text"}) {
        writeFile(dir.file(name), "x");
    }
    fs::create_symlink(dir.file("b"), dir.file("5 link to b"));
    // A name that is not valid UTF-8 still names its file.
    EXPECT_EQ(jobNames(dir.path()), (Names{"5 \xff not text", "B", "b", "\xc3\xa9"}));
    EXPECT_THROW(jobNames(dir.file("missing")), platform::Failure);
}

TEST(WatchedDirectoryListing, VisitsManyNamesInOrder) {
    TempDir dir;
    Names inOrder;
    for (int i = 0; i < 600; ++i) {
        inOrder.push_back(std::to_string(1000 + i));
    }
    Names shuffled = inOrder;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(7));
    for (const std::string& name : shuffled) {
        writeFile(dir.file(name), "x");
    }
    EXPECT_EQ(jobNames(dir.path()), inOrder);
}

TEST(WatchedDirectoryListing, NamesBeginningWithADotAreNeitherJobsNorTouched) {
    TempDir dir;
    const Names names{".a.Xy12Z", ".newjob.tmp12-3", "newjob.tmp1-0"};
    for (const std::string& name : names) {
        writeFile(dir.file(name), "x");
    }
    EXPECT_EQ(jobNames(dir.path()), Names{"newjob.tmp1-0"});
    EXPECT_EQ(namesIn(dir.path()), names);
}

TEST(WatchedDirectoryHeldOpen, TellsWhetherAnotherProcessHasTheFileOpen) {
    using platform::FileUse;
    TempDir dir;
    const std::string path = dir.file("job");
    writeFile(path, "data");
    EXPECT_EQ(real().fileUse(path), FileUse::Free);
    {
        HeldFile reader(path, O_RDONLY);
        EXPECT_EQ(real().fileUse(path), FileUse::HeldOpen);
    }
    EXPECT_EQ(real().fileUse(path), FileUse::Free);
    {
        HeldFile writer(path, O_WRONLY | O_APPEND);
        EXPECT_EQ(real().fileUse(path), FileUse::HeldOpen);
    }
    EXPECT_EQ(real().fileUse(path), FileUse::Free);
    EXPECT_THROW(real().fileUse(dir.file("missing")), platform::Failure);
    // A pipe put in a file's place is never taken.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0666), 0);
    EXPECT_EQ(real().fileUse(dir.file("fifo")), FileUse::HeldOpen);
    // A symbolic link put in a job's place is not followed.
    fs::create_symlink(path, dir.file("link"));
    EXPECT_THROW(real().fileUse(dir.file("link")), platform::Failure);
}

// Runs check in a child process without CAP_LEASE and in a process namespace of its own, where
// every process in sight is one of its own; returns check's result, or 2 when that set-up fails.
int withoutLeaseCapability(const std::function<int()>& check) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (::syscall(SYS_capget, &header, data) != 0) {
            _exit(2);
        }
        data[CAP_LEASE / 32].effective &= ~(1u << (CAP_LEASE % 32));
        if (::syscall(SYS_capset, &header, data) != 0 ||
            ::unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) {
            _exit(2);
        }
        const pid_t inner = ::fork();
        if (inner == 0) {
            if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                ::mount("proc", "/proc", "proc", 0, nullptr) != 0) {
                _exit(2);
            }
            _exit(check());
        }
        int status = 0;
        ::waitpid(inner, &status, 0);
        _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 2);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

TEST(WatchedDirectoryHeldOpen, AnswersFromTheProcessTableWhereNoLeaseCanBeHad) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the file to another user needs root";
    }
    TempDir dir;
    const std::string path = dir.file("job of another user");
    writeFile(path, "data");
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    const int result = withoutLeaseCapability([&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0 || ::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
            return 3; // a lease after all: this would not test the process table
        }
        ::close(fd);
        if (real().fileUse(path) != platform::FileUse::Free) {
            return 4;
        }
        try {
            HeldFile reader(path, O_RDONLY);
            return real().fileUse(path) == platform::FileUse::HeldOpen ? 0 : 5;
        } catch (const std::exception&) {
            return 2;
        }
    });
    if (result == 2) {
        GTEST_SKIP() << "no process namespace to be had";
    }
    EXPECT_EQ(result, 0) << "3: lease granted, 4: free file held, 5: held file free";
}

TEST(WatchedDirectoryRename, GivesTheFileTheNewNameInOneStepAndNeverReplacesOne) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string work = dir.file("newjob");
    writeFile(job, "the job");
    real().renameFile(job, work);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_EQ(namesIn(dir.path()), Names{"newjob"});

    // A work file that is there already stays as it is, and so does the job.
    writeFile(job, "the next job");
    EXPECT_THROW(real().renameFile(job, work), platform::Failure);
    EXPECT_EQ(readFile(work), "the job");
    EXPECT_EQ(readFile(job), "the next job");
    EXPECT_THROW(real().renameFile(dir.file("missing"), dir.file("other")), platform::Failure);
    EXPECT_EQ(namesIn(dir.path()), (Names{"job", "newjob"}));
}

TEST(WatchedDirectoryFailed, NeverMovesNorWritesThroughALinkInPlaceOfFailed) {
    TempDir dir;
    TempDir elsewhere;
    fs::create_directory_symlink(elsewhere.path(), dir.file("failed"));
    writeFile(dir.file("job"), "x");
    EXPECT_THROW(real().moveToFailed(dir.file("job"), ""), platform::Failure);
    EXPECT_THROW(real().createInFailed(dir.file("job"), "job.section1"), platform::Failure);
    EXPECT_THROW(real().failedSize(dir.file("job")), platform::Failure);
    EXPECT_EQ(namesIn(dir.path()), (Names{"failed", "job"}));
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

// Whoever lists "failed" never sees a kept section half-written under its name.
TEST(WatchedDirectoryFailed, AFileWrittenIntoFailedTakesItsNameOnlyOnceWhole) {
    TempDir dir;
    const std::string failed = dir.file("failed");
    EXPECT_EQ(real().failedSize(dir.file("newjob")), 0u);
    {
        const auto kept = real().createInFailed(dir.file("newjob"), "job.section1");
        kept->write(reinterpret_cast<const std::uint8_t*>("@!@1a"), 5);
        EXPECT_EQ(namesIn(failed), Names{".job.section1"});
        EXPECT_EQ(kept->keep(), failed + "/job.section1");
        real()
            .createInFailed(dir.file("newjob"), "lost")
            ->write(reinterpret_cast<const std::uint8_t*>("x"), 1);
    }
    EXPECT_EQ(namesIn(failed), Names{"job.section1"});
    EXPECT_EQ(readFile(failed + "/job.section1"), "@!@1a");
    EXPECT_EQ(real().failedSize(dir.file("newjob")), 5u);
}

} // namespace
