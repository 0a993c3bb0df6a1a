// A process killed at any moment while it saves the settings: the file it leaves is read back
// as one complete set of settings, the one before the save or the one it was saving.
#include "core/Settings.h"
#include "tests/load/SettingsSets.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kRounds = 30;

// "old", "new", or for a file holding keys of both sets the value of each key as read.
std::string whichSet(const core::Settings& read) {
    for (const std::string set : {"old", "new"}) {
        const core::Settings whole = settingsSet(set);
        if (read == whole) {
            return set;
        }
    }
    std::string mixed;
    for (int i = 0; i < core::kOutputs; ++i) {
        mixed += "[" + read.outputs[i].target + "|" + read.outputs[i].type + "]";
    }
    return mixed + "[" + read.monitorDirectory + "]";
}

// Whether every value read is the old or the new value of its own key.
bool everyKeyWhole(const core::Settings& read) {
    const core::Settings before = settingsSet("old");
    const core::Settings after = settingsSet("new");
    const auto either = [](const std::string& value, const std::string& a, const std::string& b) {
        return value == a || value == b;
    };
    for (int i = 0; i < core::kOutputs; ++i) {
        if (!either(read.outputs[i].target, before.outputs[i].target, after.outputs[i].target) ||
            !either(read.outputs[i].type, before.outputs[i].type, after.outputs[i].type)) {
            return false;
        }
    }
    return either(read.monitorDirectory, before.monitorDirectory, after.monitorDirectory);
}

// Starts the saving process, kills it after DELAY and reads back what it left.
core::Settings killDuringSave(testsupport::AppSandbox& sandbox, std::chrono::microseconds delay) {
    const pid_t pid = fork();
    if (pid == 0) {
        execl(SAVE_SETTINGS_LOOP, SAVE_SETTINGS_LOOP, sandbox.dir().path().c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself";

    core::Settings settings;
    sandbox.application().settingsFile().load(settings, "");
    return settings;
}

// Kills the saving process at random moments and keeps what each kill left: once, for all the
// checks below.
class KilledSave : public testing::Test {
protected:
    static void SetUpTestSuite() {
        testsupport::AppSandbox sandbox;
        core::Settings settings = settingsSet("old");
        const auto start = std::chrono::steady_clock::now();
        sandbox.application().settingsFile().save(settings);
        const auto saveTime = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);

        std::mt19937 random(7);
        // The first rounds kill while the process starts or in its first save; the others
        // anywhere in its first three saves, whatever a save costs on this file system.
        std::uniform_int_distribution<long> early(0, 3000);
        std::uniform_int_distribution<long> anywhere(0, 2000 + 3 * saveTime.count());
        for (int round = 0; round < kRounds; ++round) {
            const long delay = round < kRounds / 3 ? early(random) : anywhere(random);
            left_.push_back(killDuringSave(sandbox, std::chrono::microseconds(delay)));
        }
        logged_ = sandbox.logMessages();
        for (const auto& entry : std::filesystem::directory_iterator(sandbox.dir().path())) {
            leftNames_.push_back(entry.path().filename().string());
        }
    }

    static std::vector<core::Settings> left_;
    static std::vector<std::string> logged_;
    static std::vector<std::string> leftNames_;
};

std::vector<core::Settings> KilledSave::left_;
std::vector<std::string> KilledSave::logged_;
std::vector<std::string> KilledSave::leftNames_;

} // namespace

TEST_F(KilledSave, EveryKeyReadsBackItsOldOrItsNewValue) {
    ASSERT_EQ(left_.size(), static_cast<std::size_t>(kRounds));
    for (std::size_t round = 0; round < left_.size(); ++round) {
        EXPECT_TRUE(everyKeyWhole(left_[round]))
            << "round " << round << ": " << whichSet(left_[round]);
    }
    EXPECT_TRUE(logged_.empty()) << testing::PrintToString(logged_);
}

TEST_F(KilledSave, TheFileHoldsTheOldOrTheNewSettingsWhole) {
    for (std::size_t round = 0; round < left_.size(); ++round) {
        const std::string set = whichSet(left_[round]);
        EXPECT_TRUE(set == "old" || set == "new") << "round " << round << ": " << set;
    }
    // Kills leave at most one spare file beside the settings file, never one per kill.
    for (const std::string& name : leftNames_) {
        EXPECT_TRUE(name == "tarvo.ini" || name == "tarvo.ini.tmp") << name;
    }
}
