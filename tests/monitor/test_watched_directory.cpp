#include "platform/Failure.h"
#include "platform/WatchedDirectory.h"
#include "tests/monitor/HeldFile.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/ChildProcess.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
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
    return platform::watchedDirectory();
}

Names namesIn(const std::string& directory) {
    Names names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The names that the listing visits, in its order.
Names jobNames(const std::string& directory) {
    Names names;
    real().visitJobNames(directory, [&](const std::string& name) {
        names.push_back(name);
        return true;
    });
    return names;
}

TEST(WatchedDirectoryListing, VisitsTheRegularFilesInByteOrder) {
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

    Names visited;
    real().visitJobNames(dir.path(), [&](const std::string& name) {
        visited.push_back(name);
        return visited.size() < 2;
    });
    EXPECT_EQ(visited, (Names{"5 \xff not text", "B"}));
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

TEST(WatchedDirectoryListing, RemovesLeftoverHandOffTemporariesInsteadOfNamingThem) {
    TempDir dir;
    const Names lookAlike{".newjob.tmp",    ".newjob.tmp-0",   ".newjob.tmp1-", ".newjob.tmp1-0x",
                          ".newjob.tmpx-0", ".xnewjob.tmp1-0", "newjob.tmp1-0"};
    for (const std::string& name : lookAlike) {
        writeFile(dir.file(name), "x");
    }
    writeFile(dir.file(".newjob.tmp12-3"), "part of a job");
    EXPECT_EQ(jobNames(dir.path()), Names{"newjob.tmp1-0"});
    EXPECT_EQ(namesIn(dir.path()), lookAlike);
}

TEST(WatchedDirectoryHeldOpen, TellsWhetherAnotherProcessHasTheFileOpen) {
    TempDir dir;
    const std::string path = dir.file("job");
    writeFile(path, "data");
    EXPECT_FALSE(real().isHeldOpen(path));
    {
        HeldFile reader(path, O_RDONLY);
        EXPECT_TRUE(real().isHeldOpen(path));
    }
    EXPECT_FALSE(real().isHeldOpen(path));
    {
        HeldFile writer(path, O_WRONLY | O_APPEND);
        EXPECT_TRUE(real().isHeldOpen(path));
    }
    EXPECT_FALSE(real().isHeldOpen(path));
    EXPECT_THROW(real().isHeldOpen(dir.file("missing")), platform::Failure);
    // A pipe put in a file's place is never taken.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0666), 0);
    EXPECT_TRUE(real().isHeldOpen(dir.file("fifo")));
    // A symbolic link put in a job's place is not followed.
    fs::create_symlink(path, dir.file("link"));
    EXPECT_THROW(real().isHeldOpen(dir.file("link")), platform::Failure);
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
        if (real().isHeldOpen(path)) {
            return 4;
        }
        try {
            HeldFile reader(path, O_RDONLY);
            return real().isHeldOpen(path) ? 0 : 5;
        } catch (const std::exception&) {
            return 2;
        }
    });
    if (result == 2) {
        GTEST_SKIP() << "no process namespace to be had";
    }
    EXPECT_EQ(result, 0) << "3: lease granted, 4: free file held, 5: held file free";
}

TEST(WatchedDirectoryCopy, ReplacesTheDestinationAndLeavesNoOtherName) {
    TempDir dir;
    const std::string job = dir.file("job");
    const std::string work = dir.file("newjob");
    writeFile(job, "new bytes");
    writeFile(work, "older work file");
    real().copyFile(job, work);
    EXPECT_EQ(readFile(work), "new bytes");
    EXPECT_EQ(readFile(job), "new bytes");
    EXPECT_EQ(namesIn(dir.path()), (Names{"job", "newjob"}));

    // Both names already lead to one file: nothing changes, no temporary name stays behind.
    fs::remove(work);
    fs::create_hard_link(job, work);
    real().copyFile(job, work);
    EXPECT_EQ(readFile(work), "new bytes");
    EXPECT_EQ(namesIn(dir.path()), (Names{"job", "newjob"}));

    // A symbolic link is refused, not followed.
    writeFile(dir.file("target"), "target bytes");
    fs::create_symlink(dir.file("target"), dir.file("link"));
    EXPECT_THROW(real().copyFile(dir.file("link"), work), platform::Failure);
    EXPECT_EQ(readFile(work), "new bytes");
}

TEST(WatchedDirectoryCopy, CopiesTheBytesWhereNoLinkCanBeMade) {
    std::string shm = "/dev/shm/tarvo-test-XXXXXX";
    struct stat shmInfo {};
    struct stat tmpInfo {};
    if (::mkdtemp(shm.data()) == nullptr || ::stat(shm.c_str(), &shmInfo) != 0 ||
        ::stat(fs::temp_directory_path().c_str(), &tmpInfo) != 0 ||
        shmInfo.st_dev == tmpInfo.st_dev) {
        GTEST_SKIP() << "needs two file systems";
    }
    TempDir dir;
    const std::string source = shm + "/job";
    std::string bytes(3 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>(i * 7 % 251);
    }
    writeFile(source, bytes);
    writeFile(dir.file("newjob"), "older work file");
    real().copyFile(source, dir.file("newjob"));
    EXPECT_TRUE(readFile(dir.file("newjob")) == bytes);
    EXPECT_TRUE(readFile(source) == bytes);
    EXPECT_EQ(namesIn(dir.path()), (Names{"newjob"}));

    // A pipe put in the job's place is refused at once, not waited on for a writer.
    ASSERT_EQ(::mkfifo((shm + "/fifo").c_str(), 0666), 0);
    EXPECT_TRUE(testsupport::holdsWithin(10, [&] {
        try {
            real().copyFile(shm + "/fifo", dir.file("newjob"));
        } catch (const platform::Failure&) {
            return true;
        }
        return false;
    }));
    EXPECT_EQ(namesIn(dir.path()), (Names{"newjob"}));
    fs::remove_all(shm);
}

TEST(WatchedDirectoryCopy, AFailedCopyOrDeletionChangesNothing) {
    TempDir dir;
    writeFile(dir.file("newjob"), "older work file");
    EXPECT_THROW(real().copyFile(dir.file("missing"), dir.file("newjob")), platform::Failure);
    EXPECT_EQ(readFile(dir.file("newjob")), "older work file");
    EXPECT_EQ(namesIn(dir.path()), (Names{"newjob"}));
    try {
        real().deleteFile(dir.file("missing"));
        ADD_FAILURE() << "deleting a missing file succeeded";
    } catch (const platform::Failure& failure) {
        EXPECT_STREQ(failure.what(), "No such file or directory");
    }
}

TEST(WatchedDirectoryOtherNames, RemovesOnlyTheFilesOtherNamesInItsDirectory) {
    TempDir dir;
    const std::string work = dir.file("newjob");
    writeFile(work, "job");
    fs::create_hard_link(work, dir.file("a"));
    fs::create_hard_link(work, dir.file("z"));
    writeFile(dir.file("b"), "job"); // the same bytes in another file
    fs::create_symlink(work, dir.file("link"));
    real().removeOtherNames(work);
    EXPECT_EQ(namesIn(dir.path()), (Names{"b", "link", "newjob"}));
    EXPECT_NO_THROW(real().removeOtherNames(dir.file("missing")));
}

TEST(WatchedDirectoryFailed, NeverMovesThroughALinkInPlaceOfFailed) {
    TempDir dir;
    TempDir elsewhere;
    fs::create_directory_symlink(elsewhere.path(), dir.file("failed"));
    writeFile(dir.file("job"), "x");
    EXPECT_THROW(real().moveToFailed(dir.file("job")), platform::Failure);
    EXPECT_EQ(namesIn(dir.path()), (Names{"failed", "job"}));
    EXPECT_TRUE(fs::is_empty(elsewhere.path()));
}

} // namespace
