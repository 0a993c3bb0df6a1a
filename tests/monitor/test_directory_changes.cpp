// The changes of the watched directory as inotify reports them: the opens and closes counted by
// name, and what wakes the monitor.
#include "platform/DirectoryChanges.h"
#include "tests/support/TestSupport.h"
#include "tests/support/posix/ChangesQueue.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using platform::OpenState;
using testsupport::TempDir;
using testsupport::writeFile;

int openIn(const TempDir& dir, const char* name, int flags) {
    return ::open(dir.file(name).c_str(), flags | O_CLOEXEC, 0644);
}

TEST(DirectoryChanges, CountEachNamesOpensAndClosesFromTheTimeItIsWatched) {
    TempDir dir;
    TempDir elsewhere;
    writeFile(dir.file("before"), "there before the watch");
    const auto changes = platform::followChanges(dir.path());
    ASSERT_GE(changes->readyHandle(), 0);
    const auto state = [&](const char* name) { return changes->openState(name); };

    const int writer = openIn(dir, "a", O_WRONLY | O_CREAT);
    EXPECT_FALSE(changes->readChanges());
    EXPECT_EQ(state("a"), OpenState::Open);
    ASSERT_EQ(::close(writer), 0);
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(state("a"), OpenState::Closed);
    // A file opened before the watch: its closes tell nothing.
    ::close(openIn(dir, "before", O_RDONLY));
    EXPECT_FALSE(changes->readChanges());
    EXPECT_EQ(state("before"), OpenState::Unknown);

    // A rename takes the count along, and wakes nothing when it gives a job another name, since
    // the job woke the monitor before; the close of the last reader that held it does, since the
    // monitor may wait for it. A file that gets a job's name from a name that no job has is a job
    // complete.
    const int reader = openIn(dir, "a", O_RDONLY);
    fs::rename(dir.file("a"), dir.file("b"));
    const int secondReader = openIn(dir, "b", O_RDONLY);
    EXPECT_FALSE(changes->readChanges());
    EXPECT_EQ(state("a"), OpenState::Unknown);
    EXPECT_EQ(state("b"), OpenState::Open);
    ::close(reader);
    EXPECT_FALSE(changes->readChanges());
    ::close(secondReader);
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(state("b"), OpenState::Closed);
    writeFile(dir.file(".f"), "written under a hidden name");
    EXPECT_FALSE(changes->readChanges());
    fs::rename(dir.file(".f"), dir.file("f"));
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(state("f"), OpenState::Closed);

    // Moved in from elsewhere or linked in: its writer may have it open elsewhere. A file that
    // the program opens itself to ask it tells nothing more by its opens and closes.
    writeFile(elsewhere.file("c"), "written elsewhere");
    fs::rename(elsewhere.file("c"), dir.file("c"));
    fs::create_hard_link(dir.file("b"), dir.file("d"));
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(state("c"), OpenState::Unknown);
    EXPECT_EQ(state("d"), OpenState::Unknown);
    changes->distrust("d");
    ::close(openIn(dir, "d", O_RDONLY));
    changes->readChanges();
    EXPECT_EQ(state("d"), OpenState::Unknown);

    // The close of a file that has lost its name does not count against a new file of that name.
    const int old = openIn(dir, "e", O_WRONLY | O_CREAT);
    fs::remove(dir.file("e"));
    const int current = openIn(dir, "e", O_WRONLY | O_CREAT);
    ::close(old);
    changes->readChanges();
    EXPECT_EQ(state("e"), OpenState::Open);
    ::close(current);
    changes->readChanges();
    EXPECT_EQ(state("e"), OpenState::Closed);
}

TEST(DirectoryChanges, ADirectoryIsWatchedOnceItExistsAndLostEventsForgetEverything) {
    TempDir parent;
    const std::string path = parent.file("later");
    const auto changes = platform::followChanges(path);
    ASSERT_GE(changes->readyHandle(), 0);
    EXPECT_FALSE(changes->readChanges());
    fs::create_directory(path);
    changes->readChanges();
    writeFile(path + "/a", "a");
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(changes->openState("a"), OpenState::Closed);

    // Another directory in its place: the old one's files are forgotten.
    fs::rename(path, parent.file("old"));
    fs::create_directory(path);
    writeFile(path + "/b", "b");
    changes->readChanges();
    writeFile(path + "/a", "a");
    changes->readChanges();
    EXPECT_EQ(changes->openState("b"), OpenState::Unknown);
    EXPECT_EQ(changes->openState("a"), OpenState::Closed);

    // More events than the queue holds, each file made, opened and closed.
    const int files = testsupport::maxQueuedEvents() / 3 + 10;
    if (files > 100000) {
        GTEST_SKIP() << "the event queue holds too many events to fill here";
    }
    for (int i = 0; i < files; ++i) {
        writeFile(path + "/many-" + std::to_string(i), "");
    }
    EXPECT_TRUE(changes->readChanges());
    EXPECT_EQ(changes->openState("a"), OpenState::Unknown);
    EXPECT_EQ(changes->openState("many-0"), OpenState::Unknown);
    writeFile(path + "/after", "after");
    changes->readChanges();
    EXPECT_EQ(changes->openState("after"), OpenState::Closed);
}

} // namespace
