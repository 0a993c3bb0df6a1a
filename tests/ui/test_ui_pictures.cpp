// Saves pictures of the configuration window, the printer picker, and the tray's menu and icons
// into the build directory, for a person to look at.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/ConfigDialog.h"
#include "ui/qt/PrinterDialog.h"
#include "ui/qt/TrayWindow.h"

#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(UiPictures, ConfigurationWindowAndPrinterPicker) {
    uitest::ensureApplication();
    testsupport::AppSandbox sandbox;
    core::Settings& s = sandbox.application().settings();
    s.monitorDirectory = "/home/shop/Tarvo";
    s.outputs = {core::Output{"Receipt_Front", "Ticket"},
                 {"Receipt_Kitchen", "Dup Ticket"},
                 {"Zebra_GK420", "Label"},
                 {"Office_Laser", "Report"},
                 {"/home/shop/out/tickets.txt", "File"},
                 {"/home/shop/out", "NamedFile"},
                 {},
                 {},
                 {}};

    testsupport::FakeTray tray;
    auto* window = new ui::qt::ConfigDialog(tray, sandbox.application());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QString config = TARVO_PICTURES_DIR "/configuration-window.png";
    EXPECT_TRUE(window->grab().save(config));

    platform::RecordingSpooler spooler;
    spooler.printers = {"Receipt_Front", "Receipt_Kitchen", "Zebra_GK420", "Office_Laser"};
    sandbox.platform().useSpooler(&spooler);
    const QString picker = TARVO_PICTURES_DIR "/printer-picker.png";
    bool saved = false;
    const auto grabber = uitest::onNextModal([&](QWidget* dialog) {
        dialog->findChild<QListWidget*>("printers")->item(2)->setSelected(true);
        saved = dialog->grab().save(picker);
        dialog->close();
    });
    ui::qt::PrinterDialog::choose(window, spooler, sandbox.log());
    EXPECT_TRUE(saved);

    delete window;
}

// The icon as it is, after a section that could not be printed, and paused; then the menu.
TEST(UiPictures, TrayIconsAndMenu) {
    uitest::ensureApplication();
    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    sandbox.application().settings().monitorDirectory = watched.path();
    sandbox.application().settings().outputs[0] = {"Receipt_Front", "Ticket"};
    ui::qt::TrayWindow window(sandbox.application(), watched.path());
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    QMenu* menu = tray->contextMenu();
    QAction* pause = nullptr;
    for (QAction* action : menu->actions()) {
        pause = action->text() == "Pause monitoring" ? action : pause;
    }
    ASSERT_NE(pause, nullptr);

    constexpr int kSize = 48;
    constexpr int kStep = kSize + 16;
    QPixmap icons(3 * kStep, kStep);
    icons.fill(Qt::transparent);
    QPainter painter(&icons);
    const auto draw = [&](int place) {
        painter.drawPixmap(place * kStep + 8, 8, tray->icon().pixmap(kSize, kSize));
    };
    draw(0);
    const QImage normal = tray->icon().pixmap(kSize, kSize).toImage();
    testsupport::writeFile(watched.file("job"), "@!@1lost");
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tray->icon().pixmap(kSize, kSize).toImage() != normal; }));
    draw(1);
    pause->trigger();
    draw(2);
    painter.end();
    EXPECT_TRUE(icons.save(TARVO_PICTURES_DIR "/tray-icons.png"));

    menu->popup(QPoint(0, 0));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    EXPECT_TRUE(menu->grab().save(TARVO_PICTURES_DIR "/tray-menu.png"));
    menu->hide();
}

} // namespace
