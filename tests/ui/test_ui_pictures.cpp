// Saves pictures of the configuration window and the printer picker into the build directory,
// for a person to look at.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/ConfigDialog.h"
#include "ui/qt/PrinterDialog.h"

#include <QListWidget>
#include <QPixmap>
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

} // namespace
