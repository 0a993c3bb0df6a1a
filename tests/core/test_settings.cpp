#include "core/Settings.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using testsupport::readFile;
using testsupport::writeFile;

// A sandboxed application directory whose settings file the store uses; the Settings start
// empty as in a new process.
class SettingsTest : public ::testing::Test {
protected:
    void load() { file.load(settings, kDefaultMonitorDirectory); }
    bool save() { return file.save(settings); }

    void fill(const std::string& tag) {
        for (int i = 0; i < core::kOutputs; ++i) {
            settings.outputs[i].target = tag + " target " + std::to_string(i + 1);
            settings.outputs[i].type = tag + " type " + std::to_string(i + 1);
        }
        settings.monitorDirectory = tag + " monitor";
    }

    // Every field as a missing settings file leaves it.
    void expectDefaults() const {
        for (int i = 0; i < core::kOutputs; ++i) {
            EXPECT_EQ(settings.outputs[i].target, "") << i;
            EXPECT_EQ(settings.outputs[i].type, "") << i;
        }
        EXPECT_EQ(settings.monitorDirectory, kDefaultMonitorDirectory);
        EXPECT_EQ(settings.failedMaxMiB, 1024u);
        EXPECT_EQ(settings.printWaitSeconds, 60u);
    }

    const std::string kDefaultMonitorDirectory = "/default/monitor";
    testsupport::AppSandbox sandbox;
    core::SettingsFile file{sandbox.iniPath(), sandbox.log()};
    core::Settings settings;
};

TEST_F(SettingsTest, NoFileGivesTheDefaultsAndCreatesNothing) {
    fill("stale");
    load();
    expectDefaults();
    EXPECT_EQ(file.path(), sandbox.iniPath());
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_FALSE(testsupport::exists(sandbox.logPath())) << "a missing file is no failure";
}

TEST_F(SettingsTest, ANewFileHoldsTheKeysInOrder) {
    fill("x");
    settings.outputs[2].target = "";
    settings.outputs[2].type = "";
    save();
    std::string expected = "[MAP]\r\n";
    for (int n = 1; n <= 9; ++n) {
        const std::string value = n == 3 ? "" : "x target " + std::to_string(n);
        const std::string type = n == 3 ? "" : "x type " + std::to_string(n);
        expected += "@@" + std::to_string(n) + "@=" + value + "\r\n";
        expected += "Type" + std::to_string(n) + "=" + type + "\r\n";
    }
    expected += "[MONITOR]\r\nPATH=x monitor\r\nFAILEDMAX=1024\r\nPRINTWAIT=60\r\n";
    EXPECT_EQ(readFile(sandbox.iniPath()), expected);
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
}

TEST_F(SettingsTest, SavedSettingsLoadBackIntoTheSameFields) {
    fill("round");
    settings.outputs[4].type = "";
    settings.monitorDirectory = "/srv/jobs in/K\xC3\xBC"
                                "che";
    settings.failedMaxMiB = 20;
    settings.printWaitSeconds = 300;
    const core::Settings saved = settings;
    save();
    fill("other");
    settings.failedMaxMiB = 7;
    settings.printWaitSeconds = 7;
    load();
    EXPECT_EQ(settings, saved);
}

TEST_F(SettingsTest, LoadingFollowsTheFileRules) {
    const std::string longTarget(300, 't');
    writeFile(sandbox.iniPath(), "[monitor]\n"
                                 "path=\n"
                                 "failedmax=20 MiB\n"
                                 "printwait=-1\n"
                                 "[map]\n"
                                 "@@1@=" +
                                     longTarget +
                                     "\n"
                                     "@@2@=" +
                                     std::string(254, 'u') +
                                     "\n"
                                     "type9 = 'Label'\n"
                                     "TYPE1=Ticket\n");
    fill("stale");
    load();
    EXPECT_EQ(settings.outputs[0].target, longTarget.substr(0, 254));
    EXPECT_TRUE(settings.outputs[0].targetCut);
    EXPECT_EQ(settings.outputs[1].target, std::string(254, 'u'));
    EXPECT_FALSE(settings.outputs[1].targetCut);
    EXPECT_EQ(settings.outputs[0].type, "Ticket");
    EXPECT_EQ(settings.outputs[8].type, "Label");
    EXPECT_EQ(settings.outputs[8].target, "");
    EXPECT_EQ(settings.outputs[4].type, "");
    EXPECT_EQ(settings.monitorDirectory, "") << "an empty PATH is not the default";
    EXPECT_EQ(settings.failedMaxMiB, 1024u);
    // A value cut short is named, so that a file output never goes silently elsewhere; a limit
    // that is no number is named with the one used instead.
    EXPECT_EQ(sandbox.logMessages(),
              (std::vector<std::string>{
                  "modConfig::readValue - Value of [MAP] @@1@ longer than 254 bytes, cut to 254",
                  "modConfig::getIni - Value of [MONITOR] FAILEDMAX is not a whole number of MiB, "
                  "1024 used",
                  "modConfig::getIni - Value of [MONITOR] PRINTWAIT is not a whole number of "
                  "seconds, 60 used"}));
}

TEST_F(SettingsTest, AnUnreadableFileGivesTheDefaultsWithOneLine) {
    std::filesystem::create_directory(sandbox.iniPath());
    fill("stale");
    load();
    expectDefaults();
    EXPECT_EQ(sandbox.logMessages(),
              std::vector<std::string>{"modConfig::getIni - Is a directory"});
}

TEST_F(SettingsTest, SavingOverAFileChangesOnlyItsOwnKeys) {
    std::string before = "; written by hand\n"
                         "[Printers]\n"
                         "@@1@=not ours\n"
                         "[MAP]\n"
                         "TYPE1=Report\n"
                         "@@1@ = old\n"
                         "Comment=keep\n"
                         "\n"
                         "[MONITOR]\n"
                         "PATH=/old\n"
                         "Poll=100\n";
    writeFile(sandbox.iniPath(), before);
    fill("n");
    save();
    const std::string after = readFile(sandbox.iniPath());
    std::string expected = "; written by hand\n"
                           "[Printers]\n"
                           "@@1@=not ours\n"
                           "[MAP]\n"
                           "TYPE1=n type 1\n"
                           "@@1@ = n target 1\n"
                           "Comment=keep\n";
    for (int n = 2; n <= 9; ++n) {
        expected += "@@" + std::to_string(n) + "@=n target " + std::to_string(n) + "\n";
        expected += "Type" + std::to_string(n) + "=n type " + std::to_string(n) + "\n";
    }
    expected += "\n[MONITOR]\nPATH=n monitor\nPoll=100\nFAILEDMAX=1024\nPRINTWAIT=60\n";
    EXPECT_EQ(after, expected);
}

TEST_F(SettingsTest, AFailedReadIsLoggedAndGivesTheDefault) {
    std::filesystem::create_directory(sandbox.iniPath());
    EXPECT_EQ(file.readValue("MAP", "@@1@", "default"), "default");
    ASSERT_EQ(sandbox.logMessages().size(), 1u);
    EXPECT_EQ(sandbox.logMessages()[0], "modConfig::readValue - Is a directory");
}

TEST_F(SettingsTest, ARefusedSaveIsLoggedReportedAndKeepsTheNewValuesInMemory) {
    std::filesystem::create_directory(sandbox.iniPath());
    fill("kept");
    const core::Settings wanted = settings;
    EXPECT_FALSE(save());
    EXPECT_EQ(settings.outputs, wanted.outputs);
    EXPECT_EQ(settings.monitorDirectory, wanted.monitorDirectory);
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.iniPath()));

    // A settings file that the user made read-only is refused the same way.
    std::filesystem::remove(sandbox.iniPath());
    const std::string locked = "[MAP]\r\n@@1@=locked\r\n";
    writeFile(sandbox.iniPath(), locked);
    std::filesystem::permissions(sandbox.iniPath(), std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
    EXPECT_FALSE(save());
    EXPECT_EQ(settings.outputs, wanted.outputs);
    EXPECT_EQ(readFile(sandbox.iniPath()), locked);

    EXPECT_EQ(sandbox.logMessages(), (std::vector<std::string>{
                                         "modConfig::saveIni - Is a directory",
                                         "modConfig::saveIni - Permission denied",
                                     }));
}

TEST_F(SettingsTest, AfterSavingTheFieldsHoldWhatWasWritten) {
    fill("w");
    // The tests' locale has a UTF-8 code set: bytes that are not valid UTF-8 go to the file
    // and come back unchanged, so that a path that names a file still names it.
    settings.outputs[0].target = "bad \xFF byte";
    settings.monitorDirectory = "/mon\xC3";
    save();
    EXPECT_EQ(settings.outputs[0].target, "bad \xFF byte");
    EXPECT_EQ(settings.monitorDirectory, "/mon\xC3");
    load();
    EXPECT_EQ(settings.outputs[0].target, "bad \xFF byte");
    EXPECT_EQ(settings.monitorDirectory, "/mon\xC3");
}

} // namespace
