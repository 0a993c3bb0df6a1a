// The hidden main window: tray icon, tooltips, the monitor timer and the click that opens the
// configuration window, on Qt's offscreen platform.
#include "core/modConfig.h"
#include "core/modMain.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/frmConfig.h"
#include "ui/qt/frmMain.h"

#include <QApplication>
#include <QLineEdit>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        uitest::ensureApplication();
        settings.strIniPath = sandbox.iniPath();
        settings.strMonitorPath = watched.path();
    }

    QList<frmConfig*> configWindows() const {
        QList<frmConfig*> windows;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* config = qobject_cast<frmConfig*>(widget); config && config->isVisible()) {
                windows.push_back(config);
            }
        }
        return windows;
    }

    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    modConfig::Settings settings;
};

} // namespace

TEST_F(MainWindowTest, ShowsReadyThenTheMonitoredDirectoryOnEveryTick) {
    frmMain window(settings, watched.path());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.trayTooltip(), "Tarvo - Ready");
    EXPECT_EQ(window.windowIcon().availableSizes().size(), 4);
    EXPECT_TRUE(window.timerEnabled());

    QTest::qWait(250);
    EXPECT_EQ(window.trayTooltip().toStdString(), "Tarvo - Monitor active on " + watched.path());

    // The tooltip names the configured directory, which may differ from the watched one.
    settings.strMonitorPath = "/elsewhere";
    QTest::qWait(250);
    EXPECT_EQ(window.trayTooltip(), "Tarvo - Monitor active on /elsewhere");
    EXPECT_TRUE(window.timerEnabled());
    EXPECT_FALSE(testsupport::exists(sandbox.logPath()));
}

TEST_F(MainWindowTest, ClicksOnTheIconShowOneConfigurationWindowWithItsEdits) {
    frmMain window(settings, watched.path());
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);

    emit tray->activated(QSystemTrayIcon::Trigger);
    ASSERT_EQ(configWindows().size(), 1);
    auto* monitorText = uitest::child<QLineEdit>(configWindows().front(), "txtMonitor");
    EXPECT_EQ(monitorText->text().toStdString(), watched.path());
    monitorText->setText("/edited");

    emit tray->activated(QSystemTrayIcon::Trigger);
    ASSERT_EQ(configWindows().size(), 1);
    EXPECT_EQ(uitest::child<QLineEdit>(configWindows().front(), "txtMonitor")->text(), "/edited");
    EXPECT_TRUE(window.timerEnabled());
}

TEST_F(MainWindowTest, ARequestToStopStopsTheMonitor) {
    frmMain window(settings, watched.path());
    window.stop();
    EXPECT_FALSE(window.timerEnabled());
    const QString before = window.trayTooltip();
    QTest::qWait(250);
    EXPECT_EQ(window.trayTooltip(), before);
}
