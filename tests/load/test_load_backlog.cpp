// A backlog of jobs that arrives all at once: each is routed exactly once, in byte order of
// the names, and nothing stays behind.
#include "tests/load/LoadSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>

namespace {

constexpr int kJobs = 500;

// Names whose byte order differs from numeric, case-blind and dictionary order.
std::vector<std::string> jobNames() {
    const std::string alphabet = "abcXYZ019-_.~";
    std::mt19937 random(20260305);
    std::set<std::string> names;
    while (names.size() < kJobs) {
        std::string name;
        const std::size_t length = 1 + random() % 12;
        for (std::size_t i = 0; i < length; ++i) {
            name += alphabet[random() % alphabet.size()];
        }
        // A name beginning with "." is a writer's temporary, never a job.
        if (name[0] != '.' && name != "newjob") {
            names.insert(name);
        }
    }
    std::vector<std::string> shuffled(names.begin(), names.end());
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    return shuffled;
}

} // namespace

TEST(Backlog, FiveHundredJobsAtOnceAreEachRoutedOnceInNameOrder) {
    load::Layout layout;
    layout.configure({{3, layout.out, "NamedFile"}});
    // All jobs appear in one rename of a directory filled beforehand.
    std::filesystem::remove(layout.watched);
    const std::string staging = layout.install.dir().file("staging");
    std::filesystem::create_directory(staging);
    const std::vector<std::string> names = jobNames();
    std::map<std::string, std::string> expected; // output file name -> content
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string output = "out" + std::to_string(i) + ".txt";
        const std::string content = "job " + names[i] + " #" + std::to_string(i);
        expected[output] = content;
        testsupport::writeFile(staging + "/" + names[i], "@!@3 " + output + "|" + content + "\r\n");
    }

    testsupport::RunningTarvo tarvo(layout.install);
    std::filesystem::rename(staging, layout.watched);

    // The last job in name order is done once its output is written: its work file is gone
    // before that.
    const std::size_t last = std::max_element(names.begin(), names.end()) - names.begin();
    const std::string lastOutput = "out" + std::to_string(last) + ".txt";
    ASSERT_TRUE(testsupport::waitUntil(
        [&] {
            return layout.log().size() >= names.size() &&
                   testsupport::readFile(layout.out + "/" + lastOutput) == expected[lastOutput];
        },
        std::chrono::seconds(150)))
        << layout.log().size() << " jobs taken";
    std::vector<std::string> inOrder = names;
    std::sort(inOrder.begin(), inOrder.end());
    std::vector<std::string> processing;
    for (const std::string& name : inOrder) {
        processing.push_back(layout.processing(name));
    }
    EXPECT_EQ(layout.log(), processing);

    std::map<std::string, std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(layout.out)) {
        written[entry.path().filename().string()] = testsupport::readFile(entry.path().string());
    }
    EXPECT_EQ(written, expected);
    EXPECT_TRUE(std::filesystem::is_empty(layout.watched));
    EXPECT_TRUE(tarvo.alive());
}
