// A writer that keeps its job file open in the watched directory while it writes: the job is
// left alone until the file is closed, then routed whole, and the jobs behind it wait for it.
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

using testsupport::exists;
using testsupport::readFile;

TEST(SlowWriter, HeldOpenJobIsTakenOnlyOnceClosedAndRoutedWhole) {
    load::Layout layout;
    layout.configure({{1, layout.out + "/one.txt", "File"},
                      {2, layout.out + "/two.txt", "File"},
                      {3, layout.out + "/three.txt", "File"}});
    testsupport::RunningTarvo tarvo(layout.install);

    const std::string job = layout.watched + "/a-slow";
    const int fd = ::open(job.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    // A complete job that sorts after the slow one has to wait for it.
    testsupport::dropJob(layout.watched, "b-after", "@!@3after\r\n");

    std::string written;
    const auto put = [&](const std::string& piece) {
        EXPECT_EQ(::write(fd, piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
        written += piece;
    };
    // About four seconds of writing, in pieces, the second section last.
    put("@!@1");
    for (int i = 0; i < 20; ++i) {
        put("line " + std::to_string(i) + "\r\n");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_TRUE(exists(job)) << "taken while its writer still had it open, after piece " << i;
        ASSERT_FALSE(exists(layout.out + "/one.txt"));
        ASSERT_FALSE(exists(layout.out + "/three.txt")) << "a later job went ahead of the held one";
    }
    put("last\r\n@!@2slow second");
    EXPECT_TRUE(layout.log().empty());
    ::close(fd);

    ASSERT_TRUE(
        load::waitForLog(layout, {layout.processing("a-slow"), layout.processing("b-after")}))
        << testing::PrintToString(layout.log());
    std::string first = written.substr(4, written.find("@!@2") - 4);
    first.resize(first.size() - 2); // the trailing line end is trimmed
    EXPECT_EQ(readFile(layout.out + "/one.txt"), first);
    EXPECT_EQ(readFile(layout.out + "/two.txt"), "slow second");
    EXPECT_TRUE(load::waitForContent(layout.out + "/three.txt", "after"));
    EXPECT_FALSE(exists(job));
    EXPECT_TRUE(tarvo.alive());
}
