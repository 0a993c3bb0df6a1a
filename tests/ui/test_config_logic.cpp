// The configuration window's behaviour, driven through a scripted view: the chooser that each
// type asks for, and the failure lines. What the widgets show and store is tested through them.
#include "core/Settings.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "ui/logic/ConfigController.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using testsupport::FakeTray;

// A view whose controls are plain fields; the choosers answer what the test scripted and say
// which one was asked.
class ScriptedView final : public ui::logic::ConfigView {
public:
    std::string monitor;
    std::array<std::string, 9> types;
    std::array<std::string, 9> targets;
    bool closed = false;
    std::vector<std::string> choosersShown;
    std::optional<std::string> answer;
    // Throws when this control is read or written: "monitor", "type", "target", "close",
    // "chooser".
    std::string failOn;
    int failRow = -1;

    std::string monitorText() const override {
        fail("monitor", -1);
        return monitor;
    }
    void setMonitorText(const std::string& text) override {
        fail("monitor", -1);
        monitor = text;
    }
    std::string rowType(int row) const override {
        fail("type", row);
        return types.at(row);
    }
    void setRowType(int row, const std::string& type) override {
        fail("type", row);
        types.at(row) = type;
    }
    std::string rowTarget(int row) const override {
        fail("target", row);
        return targets.at(row);
    }
    void setRowTarget(int row, const std::string& target) override {
        fail("target", row);
        targets.at(row) = target;
    }
    void closeWindow() override {
        fail("close", -1);
        closed = true;
    }
    std::optional<std::string> chooseFile() override { return choose("file"); }
    std::optional<std::string> chooseDirectory() override { return choose("directory"); }
    std::optional<std::string> choosePrinter() override { return choose("printer"); }

private:
    void fail(const std::string& control, int row) const {
        if (control == failOn && (failRow < 0 || row == failRow)) {
            throw std::runtime_error("The control failed");
        }
    }
    std::optional<std::string> choose(const std::string& chooser) {
        choosersShown.push_back(chooser);
        fail("chooser", -1);
        return answer;
    }
};

class ConfigControllerTest : public ::testing::Test {
protected:
    testsupport::AppSandbox sandbox;
    ScriptedView view;
    testsupport::FakeTray tray;
    core::Settings& settings = sandbox.application().settings();
    ui::logic::ConfigController window{view, tray, sandbox.application()};
};

TEST_F(ConfigControllerTest, TheSelectedTypeDecidesWhichChooserARowButtonOpens) {
    struct Case {
        std::string type;
        std::string chooser;
    };
    const std::vector<Case> cases = {
        {"File", "file"},          {"NamedFile", "directory"},
        {"NotUsed", "printer"},    {"Ticket", "printer"},
        {"Dup Ticket", "printer"}, {"Label", "printer"},
        {"Report", "printer"},     {"", "printer"},
    };
    settings.outputs[6].type = "File";
    window.load();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        view.choosersShown.clear();
        view.types[6] = c.type; // selected now, not stored
        view.answer = "/chosen/" + c.chooser;
        window.chooseTarget(6);
        EXPECT_EQ(view.choosersShown, std::vector<std::string>{c.chooser});
        EXPECT_EQ(view.targets[6], "/chosen/" + c.chooser);
    }
    EXPECT_EQ(settings.outputs[6].target, "") << "a choice reaches the settings only on Update";
}

TEST_F(ConfigControllerTest, AChooserLeftWithoutAChoiceKeepsTheTarget) {
    for (const std::string type : {"File", "NamedFile", "Ticket"}) {
        SCOPED_TRACE(type);
        view.types[0] = type;
        view.targets[0] = "kept";
        view.answer.reset();
        window.chooseTarget(0);
        EXPECT_EQ(view.targets[0], "kept");
    }
    // A confirmed empty name is a choice all the same.
    view.answer = "";
    window.chooseTarget(0);
    EXPECT_EQ(view.targets[0], "");
    EXPECT_TRUE(sandbox.logMessages().empty());
}

TEST_F(ConfigControllerTest, ARefusedSaveLeavesTheWindowOpenWithItsEdits) {
    std::filesystem::create_directory(sandbox.iniPath());
    view.targets[0] = "edited";
    window.update();
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(tray.calls.empty()) << "the monitor is left as it was";
    EXPECT_EQ(settings.outputs[0].target, "edited");
    EXPECT_EQ(sandbox.logMessages(),
              std::vector<std::string>{"modConfig::saveIni - Is a directory"});
}

TEST_F(ConfigControllerTest, EachHandlerLogsItsOwnFailureAndSkipsTheRest) {
    for (int i = 0; i < 9; ++i) {
        settings.outputs[i].target = "target " + std::to_string(i + 1);
    }

    view.failOn = "target";
    view.failRow = 3;
    window.load();
    EXPECT_EQ(view.targets[2], "target 3");
    EXPECT_EQ(view.targets[3], "") << "controls after the failure stay empty";

    settings.outputs[5].target = "before";
    view.targets[2] = "copied";
    window.update();
    EXPECT_EQ(settings.outputs[2].target, "copied") << "what was copied stays copied";
    EXPECT_EQ(settings.outputs[5].target, "before");
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_TRUE(tray.calls.empty());
    EXPECT_FALSE(view.closed);

    view.failOn = "close";
    view.failRow = -1;
    window.cancel();
    EXPECT_FALSE(view.closed);

    view.failOn = "chooser";
    view.types[1] = "Ticket";
    view.targets[1] = "kept";
    window.chooseTarget(1);
    EXPECT_EQ(view.targets[1], "kept");

    view.failOn.clear();
    window.chooseTarget(9);
    window.chooseTarget(-1);
    EXPECT_EQ(view.choosersShown.size(), 1u) << "a row outside 0 to 8 opens no chooser";

    tray.failOn = "unload";
    window.terminate();
    EXPECT_EQ(tray.calls, std::vector<std::string>{"timer off"});

    EXPECT_EQ(sandbox.logMessages(), (std::vector<std::string>{
                                         "frmConfig::Load - The control failed",
                                         "frmConfig::cmdUpdate::Click - The control failed",
                                         "frmConfig::cmdCancel::Click - The control failed",
                                         "frmConfig::cmdOut::Click - The control failed",
                                         "frmConfig::cmdOut::Click - Subscript out of range",
                                         "frmConfig::cmdOut::Click - Subscript out of range",
                                         "frmConfig::cmdTerminate::Click - The tray window failed",
                                     }));
}

} // namespace
