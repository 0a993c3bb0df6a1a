// File systems that fail under the running program: an output directory that goes away, a
// "File" target on a full and on a read-only file system, and a watched directory that is
// deleted and made again. Each failure gets its log lines, its section is kept in "failed", and
// the jobs after it are routed.
#include "platform/Failure.h"
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

using testsupport::exists;
using testsupport::readFile;

namespace {

std::string openLine(int error) {
    return std::string("modProcess::OpenOutput - ") + std::strerror(error);
}

std::string closeLine(const std::string& description) {
    return "modProcess::CloseOutput - " + description;
}

// The section of a channel whose open failed cannot be delivered.
const std::string kUndelivered = closeLine(platform::description::kBadFileName);

} // namespace

TEST(FileFaults, OutputDirectoryThatDisappearsAndComesBack) {
    load::Layout layout;
    layout.configure({{1, layout.out + "/one.txt", "File"}, {2, layout.out, "NamedFile"}});
    testsupport::RunningTarvo tarvo(layout.install);
    testsupport::dropJob(layout.watched, "a", "@!@1first");
    ASSERT_TRUE(load::waitForContent(layout.out + "/one.txt", "first"));

    std::filesystem::remove_all(layout.out);
    testsupport::dropJob(layout.watched, "b", "@!@1second");
    testsupport::dropJob(layout.watched, "c", "@!@2 N.TXT|named");
    std::vector<std::string> expected = {
        layout.processing("a"), layout.processing("b"), openLine(ENOENT),
        kUndelivered,           layout.kept("b", 1),    layout.processing("c"),
        openLine(ENOENT),       kUndelivered,           layout.kept("c", 1)};
    EXPECT_TRUE(load::waitForLog(layout, expected)) << testing::PrintToString(layout.log());
    EXPECT_FALSE(exists(layout.out));

    std::filesystem::create_directory(layout.out);
    testsupport::dropJob(layout.watched, "d", "@!@1third");
    testsupport::dropJob(layout.watched, "e", "@!@2 N.TXT|named again");
    EXPECT_TRUE(load::waitForContent(layout.out + "/N.TXT", "named again"));
    EXPECT_EQ(readFile(layout.out + "/one.txt"), "third");
    expected.push_back(layout.processing("d"));
    expected.push_back(layout.processing("e"));
    EXPECT_EQ(layout.log(), expected);
    EXPECT_TRUE(tarvo.alive());
}

TEST(FileFaults, FileTargetOnAFullFileSystem) {
    load::Layout layout;
    std::string why;
    const auto small = load::SmallFileSystem::mount(layout.install.dir().file("small"), "64k", why);
    if (!small) {
        GTEST_SKIP() << why;
    }
    const std::string target = small->path() + "/full.txt";
    layout.configure({{1, target, "File"}, {2, layout.out + "/two.txt", "File"}});
    testsupport::RunningTarvo tarvo(layout.install);

    // A section four times the size of the file system, then one for another file.
    testsupport::dropJob(layout.watched, "a", "@!@1" + std::string(256 * 1024, 'x') + "@!@2a");
    EXPECT_TRUE(load::waitForContent(layout.out + "/two.txt", "a"));
    std::vector<std::string> expected = {layout.processing("a"), closeLine(std::strerror(ENOSPC)),
                                         layout.kept("a", 1)};
    EXPECT_TRUE(load::waitForLog(layout, expected)) << testing::PrintToString(layout.log());

    // The next section for the same file fits once the file is written afresh.
    testsupport::dropJob(layout.watched, "b", "@!@1small");
    EXPECT_TRUE(load::waitForContent(target, "small"));
    expected.push_back(layout.processing("b"));
    EXPECT_EQ(layout.log(), expected);
    EXPECT_TRUE(tarvo.alive());
}

TEST(FileFaults, FileTargetOnAReadOnlyFileSystem) {
    load::Layout layout;
    std::string why;
    const auto small = load::SmallFileSystem::mount(layout.install.dir().file("ro"), "64k", why);
    if (!small) {
        GTEST_SKIP() << why;
    }
    const std::string target = small->path() + "/ro.txt";
    testsupport::writeFile(target, "old");
    if (!small->setReadOnly(true, why)) {
        GTEST_SKIP() << why;
    }
    layout.configure({{1, target, "File"}, {2, layout.out + "/two.txt", "File"}});
    testsupport::RunningTarvo tarvo(layout.install);

    testsupport::dropJob(layout.watched, "a", "@!@1new@!@2a");
    EXPECT_TRUE(load::waitForContent(layout.out + "/two.txt", "a"));
    std::vector<std::string> expected = {layout.processing("a"), openLine(EROFS), kUndelivered,
                                         layout.kept("a", 1)};
    EXPECT_TRUE(load::waitForLog(layout, expected)) << testing::PrintToString(layout.log());
    EXPECT_EQ(readFile(target), "old");

    ASSERT_TRUE(small->setReadOnly(false, why)) << why;
    testsupport::dropJob(layout.watched, "b", "@!@1new");
    EXPECT_TRUE(load::waitForContent(target, "new"));
    expected.push_back(layout.processing("b"));
    EXPECT_EQ(layout.log(), expected);
    EXPECT_TRUE(tarvo.alive());
}

TEST(FileFaults, WatchedDirectoryDeletedAndMadeAgain) {
    load::Layout layout;
    layout.configure({{1, layout.out + "/one.txt", "File"}});
    testsupport::RunningTarvo tarvo(layout.install);
    testsupport::dropJob(layout.watched, "a", "@!@1a");
    ASSERT_TRUE(load::waitForContent(layout.out + "/one.txt", "a"));

    // Gone for a few ticks, then a plain file in its place for a few more: nothing to log.
    std::filesystem::remove_all(layout.watched);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    testsupport::writeFile(layout.watched, "@!@1not a directory");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(layout.log(), std::vector<std::string>{layout.processing("a")});
    EXPECT_EQ(readFile(layout.watched), "@!@1not a directory");
    EXPECT_TRUE(tarvo.alive());

    std::filesystem::remove(layout.watched);
    std::filesystem::create_directory(layout.watched);
    testsupport::dropJob(layout.watched, "b", "@!@1b");
    EXPECT_TRUE(load::waitForContent(layout.out + "/one.txt", "b"));
    EXPECT_EQ(layout.log(),
              (std::vector<std::string>{layout.processing("a"), layout.processing("b")}));
    EXPECT_TRUE(std::filesystem::is_empty(layout.watched));
}
