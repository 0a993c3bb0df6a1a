// The hidden tray window: tray icon, tooltips, the monitor timer and the click that opens the
// configuration window, on Qt's offscreen platform.
#include "core/Application.h"
#include "core/Settings.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/ConfigDialog.h"
#include "ui/qt/TrayWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class TrayWindowTest : public ::testing::Test {
protected:
    TrayWindowTest() {
        uitest::ensureApplication();
        settings.monitorDirectory = watched.path();
    }

    QList<ui::qt::ConfigDialog*> configWindows() const {
        QList<ui::qt::ConfigDialog*> windows;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* config = qobject_cast<ui::qt::ConfigDialog*>(widget);
                config && config->isVisible()) {
                windows.push_back(config);
            }
        }
        return windows;
    }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    core::Settings& settings = sandbox.application().settings();
};

} // namespace

TEST_F(TrayWindowTest, ShowsReadyThenTheMonitoredDirectoryAndSleepsUntilTheDirectoryChanges) {
    ui::qt::TrayWindow window(sandbox.application(), watched.path());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.trayTooltip(), "Tarvo - Ready");
    EXPECT_EQ(window.windowIcon().availableSizes().size(), 4);
    EXPECT_TRUE(window.tickScheduled());

    QTest::qWait(250);
    EXPECT_EQ(window.trayTooltip().toStdString(), "Tarvo - Monitor active on " + watched.path());
    EXPECT_FALSE(window.tickScheduled()) << "an idle monitor of a watched directory sleeps";

    // A job wakes it; the tooltip names the configured directory, which may differ from the
    // watched one.
    settings.monitorDirectory = "/elsewhere";
    testsupport::writeFile(watched.file("job"), "no section");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.trayTooltip() == "Tarvo - Monitor active on /elsewhere"; }));
    EXPECT_EQ(sandbox.logMessages(), std::vector<std::string>{"Processing " + watched.file("job")});
}

TEST_F(TrayWindowTest, ClicksOnTheIconShowOneConfigurationWindowWithItsEdits) {
    ui::qt::TrayWindow window(sandbox.application(), watched.path());
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);

    emit tray->activated(QSystemTrayIcon::Trigger);
    ASSERT_EQ(configWindows().size(), 1);
    auto* monitorText = uitest::child<QLineEdit>(configWindows().front(), "monitorDirectory");
    EXPECT_EQ(monitorText->text().toStdString(), watched.path());
    monitorText->setText("/edited");

    emit tray->activated(QSystemTrayIcon::Trigger);
    ASSERT_EQ(configWindows().size(), 1);
    EXPECT_EQ(uitest::child<QLineEdit>(configWindows().front(), "monitorDirectory")->text(),
              "/edited");
}

TEST_F(TrayWindowTest, ARequestToStopStopsTheMonitor) {
    ui::qt::TrayWindow window(sandbox.application(), watched.path());
    window.stop();
    EXPECT_FALSE(window.tickScheduled());
    const QString before = window.trayTooltip();
    QTest::qWait(250);
    EXPECT_EQ(window.trayTooltip(), before);
}
