// Saves pictures of the configuration window and the printer picker into the build directory,
// for a person to look at.
#include "core/modConfig.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/FakeMainWindow.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/frmConfig.h"
#include "ui/qt/frmPrinters.h"

#include <QListWidget>
#include <QPixmap>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(UiPictures, ConfigurationWindowAndPrinterPicker) {
    uitest::ensureApplication();
    testsupport::AppSandbox sandbox;
    modConfig::Settings s;
    s.strMonitorPath = "/home/shop/Tarvo";
    s.strMapType = {"Ticket", "Dup Ticket", "Label", "Report", "File", "NamedFile", "", "", ""};
    s.strMapTarget = {"Receipt_Front",
                      "Receipt_Kitchen",
                      "Zebra_GK420",
                      "Office_Laser",
                      "/home/shop/out/tickets.txt",
                      "/home/shop/out",
                      "",
                      "",
                      ""};

    uitest::FakeMainWindow mainWindow;
    auto* window = new frmConfig(mainWindow, s);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QString config = TARVO_PICTURES_DIR "/frmConfig.png";
    EXPECT_TRUE(window->grab().save(config));

    platform::RecordingSpooler spooler;
    spooler.printers = {"Receipt_Front", "Receipt_Kitchen", "Zebra_GK420", "Office_Laser"};
    platform::setSpooler(&spooler);
    const QString picker = TARVO_PICTURES_DIR "/frmPrinters.png";
    bool saved = false;
    const auto grabber = uitest::onNextModal([&](QWidget* dialog) {
        dialog->findChild<QListWidget*>("lstPrinters")->item(2)->setSelected(true);
        saved = dialog->grab().save(picker);
        dialog->close();
    });
    frmPrinters::showForm(window);
    platform::setSpooler(nullptr);
    EXPECT_TRUE(saved);

    delete window;
    s = {};
}

} // namespace
