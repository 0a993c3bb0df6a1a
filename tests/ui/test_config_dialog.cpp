// The configuration window's widgets, driven with clicks and keys.
#include "core/Settings.h"
#include "platform/Spooler.h"
#include "platform/test/RecordingSpooler.h"
#include "platform/test/UnreachableSpooler.h"
#include "tests/support/FakeTray.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/ConfigDialog.h"
#include "ui/qt/StandardChoosers.h"
#include "ui/qt/Twips.h"

#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

using uitest::child;

QString rowName(const char* control, int row) {
    return QString("%1_%2").arg(control).arg(row);
}

class ConfigDialogTest : public ::testing::Test {
protected:
    ConfigDialogTest() { uitest::ensureApplication(); }
    ~ConfigDialogTest() override { delete window.data(); }

    // Opens the window the way the tray icon does.
    ui::qt::ConfigDialog* open() {
        window = new ui::qt::ConfigDialog(tray, sandbox.application());
        window->setChoosers(choosers);
        window->show();
        window->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
        return window;
    }

    QLineEdit* monitor() { return child<QLineEdit>(window, "monitorDirectory"); }
    QComboBox* type(int row) { return child<QComboBox>(window, rowName("rowType", row)); }
    QLineEdit* target(int row) { return child<QLineEdit>(window, rowName("rowTarget", row)); }
    QPushButton* button(const char* name) { return child<QPushButton>(window, name); }
    QPushButton* rowButton(int row) {
        return child<QPushButton>(window, rowName("rowChooser", row));
    }

    // Replaces a line edit's text by typing.
    static void retype(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

    bool closed() {
        uitest::processDeletions();
        return window.isNull();
    }

    void storeSample() {
        core::Settings& s = settings;
        s.monitorDirectory = "/srv/tarvo/in";
        for (int i = 0; i < 9; ++i) {
            s.outputs[i].target = "target " + std::to_string(i + 1);
        }
        const std::array<std::string, 9> types = {
            "Ticket", "", "Dup Ticket", "Label", "Report", "File", "NamedFile", "Laser", "NotUsed"};
        for (int i = 0; i < 9; ++i) {
            s.outputs[i].type = types[i];
        }
    }

    testsupport::AppSandbox sandbox;
    core::Settings& settings = sandbox.application().settings();
    testsupport::FakeTray tray;
    uitest::RecordingChoosers choosers;
    QPointer<ui::qt::ConfigDialog> window;
};

TEST_F(ConfigDialogTest, ShowsItsControlsAndTheStoredSettings) {
    storeSample();
    open();

    EXPECT_EQ(window->windowTitle(), "Tarvo Configuration");
    EXPECT_EQ(child<QGroupBox>(window, "monitorFrame")->title(), "Monitor Directory:");
    EXPECT_EQ(child<QGroupBox>(window, "outputMapFrame")->title(), "Output Map");
    EXPECT_EQ(button("terminate")->text(), "&Terminate");
    EXPECT_EQ(button("update")->text(), "&Update");
    EXPECT_EQ(button("cancel")->text(), "&Cancel");
    EXPECT_TRUE(button("update")->isDefault());

    const QStringList captions = {"@@1@ ->", "@@2@ ->", "@@3@ ->", "@@4@ ->", "@@5@- >",
                                  "@@6@- >", "@@7@- >", "@@8@- >", "@@9@- >"};
    const QStringList names = {"NotUsed", "Ticket", "Dup Ticket", "Label",
                               "Report",  "File",   "NamedFile"};
    const QStringList shownTypes = {"Ticket", "NotUsed",   "Dup Ticket", "Label",  "Report",
                                    "File",   "NamedFile", "",           "NotUsed"};
    EXPECT_EQ(monitor()->text(), "/srv/tarvo/in");
    for (int row = 0; row < 9; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(child<QLabel>(window, rowName("rowCaption", row))->text(), captions[row]);
        EXPECT_EQ(rowButton(row)->text(), QString("&%1...").arg(row + 1));
        QStringList items;
        for (int i = 0; i < type(row)->count(); ++i) {
            items << type(row)->itemText(i);
        }
        EXPECT_EQ(items, names);
        EXPECT_FALSE(type(row)->isEditable());
        EXPECT_EQ(type(row)->currentIndex() < 0 ? QString() : type(row)->currentText(),
                  shownTypes[row]);
        EXPECT_EQ(target(row)->text(), QString("target %1").arg(row + 1));
        EXPECT_FALSE(target(row)->isReadOnly());
    }
}

TEST_F(ConfigDialogTest, LaysItsControlsOutInTwipsAndKeepsThemOnResize) {
    open();
    const double dpiX = window->logicalDpiX();
    const double dpiY = window->logicalDpiY();
    const auto px = [](int twips, double dpi) { return ui::qt::twipsToPixels(twips, dpi); };

    EXPECT_EQ(window->size(), QSize(px(9885, dpiX), px(6180, dpiY)));
    const QPoint centre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->frameGeometry().center() - centre).manhattanLength(), 10);

    const QRect update = button("update")->geometry();
    EXPECT_EQ(update.topLeft(), QPoint(px(5040, dpiX), px(5400, dpiY)));
    // A row's controls sit in the group box, placed by their window positions.
    const QPoint lastRow = target(8)->mapTo(window, QPoint(0, 0));
    EXPECT_EQ(lastRow, QPoint(px(3120, dpiX), px(4440, dpiY)));

    window->resize(window->width() * 2, window->height() * 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(button("update")->geometry(), update);
    EXPECT_EQ(target(8)->mapTo(window, QPoint(0, 0)), lastRow);

    // Arial 9.75 pt (or its metric twin) on captions, targets and bottom buttons only.
    for (QWidget* arial :
         {static_cast<QWidget*>(child<QLabel>(window, "rowCaption_0")),
          static_cast<QWidget*>(target(0)), static_cast<QWidget*>(button("cancel"))}) {
        EXPECT_DOUBLE_EQ(arial->font().pointSizeF(), 9.75);
        EXPECT_TRUE(
            QStringList({"Arial", "Liberation Sans"}).contains(QFontInfo(arial->font()).family()))
            << QFontInfo(arial->font()).family().toStdString();
    }
    for (QWidget* plain : {static_cast<QWidget*>(monitor()), static_cast<QWidget*>(type(0)),
                           static_cast<QWidget*>(rowButton(0))}) {
        EXPECT_EQ(plain->font().family(), window->font().family());
        EXPECT_EQ(plain->font().pointSizeF(), window->font().pointSizeF());
    }
}

TEST_F(ConfigDialogTest, UpdateStoresEveryValueSavesEnablesTheMonitorAndCloses) {
    storeSample();
    open();
    retype(monitor(), "/srv/tarvo/new");
    for (int row = 0; row < 9; ++row) {
        retype(target(row), QString("typed %1").arg(row + 1));
    }
    type(1)->setFocus();
    QTest::keyClick(type(1), Qt::Key_Down); // NotUsed -> Ticket
    type(7)->setFocus();
    QTest::keyClick(type(7), Qt::Key_End); // no item -> NamedFile

    QTest::mouseClick(button("update"), Qt::LeftButton);

    const core::Settings& s = settings;
    EXPECT_EQ(s.monitorDirectory, "/srv/tarvo/new");
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(s.outputs[row].target, "typed " + std::to_string(row + 1));
    }
    const std::array<std::string, 9> types = {"Ticket",    "Ticket",    "Dup Ticket",
                                              "Label",     "Report",    "File",
                                              "NamedFile", "NamedFile", "NotUsed"};
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(s.outputs[row].type, types[row]) << row;
    }
    const std::string ini = testsupport::readFile(sandbox.iniPath());
    EXPECT_NE(ini.find("@@9@=typed 9"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Type2=Ticket"), std::string::npos) << ini;
    EXPECT_NE(ini.find("PATH=/srv/tarvo/new"), std::string::npos) << ini;
    EXPECT_EQ(tray.calls, std::vector<std::string>{"timer on"});
    EXPECT_TRUE(closed());
}

TEST_F(ConfigDialogTest, EnterUpdatesAndAnUntouchedUnlistedTypeIsKept) {
    storeSample();
    open();
    monitor()->setFocus();
    QTest::keyClick(monitor(), Qt::Key_Return);

    EXPECT_EQ(settings.outputs[1].type, "NotUsed") << "an empty type is stored as shown";
    EXPECT_EQ(settings.outputs[7].type, "Laser");
    EXPECT_EQ(settings.outputs[8].target, "target 9");
    EXPECT_TRUE(testsupport::exists(sandbox.iniPath()));
    EXPECT_EQ(tray.calls, std::vector<std::string>{"timer on"});
    EXPECT_TRUE(closed());
}

TEST_F(ConfigDialogTest, UnchangedTextsGiveBackTheirBytesAndEditedOnesTheirText) {
    // Bytes that are not valid UTF-8: a Latin-1 name, and a character cut at its first byte.
    const std::array<std::string, 9> targets = {
        "/srv/caf\xE9", "plain", "K\u00FCche", "cut \xC3", "", "a", "b", "c", "d"};
    const std::string monitorPath = "/srv/caf\xE9/in";
    const auto file = [&](const std::array<std::string, 9>& mapTargets) {
        std::string text = "[MAP]\r\n";
        for (int i = 1; i <= 9; ++i) {
            text += "@@" + std::to_string(i) + "@=" + mapTargets[i - 1] + "\r\nType" +
                    std::to_string(i) + "=Ticket\r\n";
        }
        return text + "[MONITOR]\r\nPATH=" + monitorPath + "\r\nFAILEDMAX=20\r\nPRINTWAIT=5\r\n";
    };
    const std::string before = file(targets);
    testsupport::writeFile(sandbox.iniPath(), before);
    sandbox.application().settingsFile().load(settings, "");

    open();
    QTest::mouseClick(button("update"), Qt::LeftButton);
    ASSERT_TRUE(closed());
    EXPECT_EQ(testsupport::readFile(sandbox.iniPath()), before);
    EXPECT_EQ(settings.monitorDirectory, monitorPath);

    // An edited box stores its new text.
    open();
    retype(target(3), "edited");
    QTest::mouseClick(button("update"), Qt::LeftButton);
    std::array<std::string, 9> expected = targets;
    expected[3] = "edited";
    EXPECT_EQ(testsupport::readFile(sandbox.iniPath()), file(expected));
}

TEST_F(ConfigDialogTest, TextBoxesTakeOnlyWhatTheFileStoresWhole) {
    open();
    retype(monitor(), QString(300, 'm'));
    EXPECT_EQ(monitor()->text(), QString(254, 'm'));
    // Bytes of the stored form count, not characters: each of these takes two.
    target(0)->setFocus();
    for (int i = 0; i < 200; ++i) {
        QTest::sendKeyEvent(QTest::Click, target(0), Qt::Key_Udiaeresis, QString(QChar(0xFC)),
                            Qt::NoModifier);
    }
    EXPECT_EQ(target(0)->text(), QString(127, QChar(0xFC)));
    retype(target(1), "one");
    target(1)->insert("\ntwo");
    EXPECT_EQ(target(1)->text(), "one");
    // A chosen name as well.
    choosers.answer = "/" + std::string(254, 'a');
    QTest::mouseClick(rowButton(1), Qt::LeftButton);
    EXPECT_EQ(target(1)->text(), "one");
    EXPECT_EQ(sandbox.logMessages(),
              std::vector<std::string>{"frmConfig::cmdOut::Click - File name too long"});
}

TEST_F(ConfigDialogTest, CancelEscAndTheCloseBoxStoreNothing) {
    storeSample();
    const std::vector<std::string> ways = {"Cancel button", "Alt+C", "Esc", "close box"};
    for (const std::string& way : ways) {
        SCOPED_TRACE(way);
        open();
        retype(monitor(), "discarded");
        retype(target(4), "discarded");
        type(4)->setFocus();
        QTest::keyClick(type(4), Qt::Key_Home);

        if (way == "Cancel button") {
            QTest::mouseClick(button("cancel"), Qt::LeftButton);
        } else if (way == "Alt+C") {
            uitest::pressAccessKey(window, Qt::Key_C);
        } else if (way == "Esc") {
            QTest::keyClick(target(4), Qt::Key_Escape);
        } else {
            window->close();
        }
        EXPECT_TRUE(closed());
    }
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_EQ(settings.monitorDirectory, "/srv/tarvo/in");
    EXPECT_TRUE(tray.calls.empty());

    // The next opening shows the stored values, not the discarded edits.
    open();
    EXPECT_EQ(monitor()->text(), "/srv/tarvo/in");
    EXPECT_EQ(target(4)->text(), "target 5");
    EXPECT_EQ(type(4)->currentText(), "Report");
}

TEST_F(ConfigDialogTest, TerminateEndsTheProgramWithoutWriting) {
    storeSample();
    open();
    retype(monitor(), "unsaved");
    uitest::pressAccessKey(window, Qt::Key_T);

    EXPECT_EQ(tray.calls, (std::vector<std::string>{"timer off", "unload", "end"}));
    EXPECT_FALSE(testsupport::exists(sandbox.iniPath()));
    EXPECT_EQ(settings.monitorDirectory, "/srv/tarvo/in");
}

TEST_F(ConfigDialogTest, ARowButtonOpensTheChooserOfTheTypeSelectedNow) {
    settings.outputs[2].type = "Ticket";
    settings.outputs[2].target = "stored";
    open();

    // Stored "Ticket" selected: the printer picker.
    choosers.answer = "Receipt";
    QTest::mouseClick(rowButton(2), Qt::LeftButton);
    EXPECT_EQ(target(2)->text(), "Receipt");

    // Changed to "File" (Down four times), not stored: the file chooser, by its access key.
    type(2)->setFocus();
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(type(2), Qt::Key_Down);
    }
    ASSERT_EQ(type(2)->currentText(), "File");
    choosers.answer = "/var/out/tickets.txt";
    uitest::pressAccessKey(window, Qt::Key_3);
    EXPECT_EQ(target(2)->text(), "/var/out/tickets.txt");

    QTest::keyClick(type(2), Qt::Key_Down);
    choosers.answer = "/var/out";
    QTest::mouseClick(rowButton(2), Qt::LeftButton);
    EXPECT_EQ(target(2)->text(), "/var/out");

    // Each chooser left without a choice keeps the target.
    choosers.answer.reset();
    for (Qt::Key move : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home}) { // File, NamedFile, NotUsed
        QTest::keyClick(type(2), move);
        QTest::mouseClick(rowButton(2), Qt::LeftButton);
        EXPECT_EQ(target(2)->text(), "/var/out");
    }

    EXPECT_EQ(choosers.shown, (std::vector<std::string>{"printer", "file", "directory", "file",
                                                        "directory", "printer"}));
    EXPECT_EQ(settings.outputs[2].target, "stored") << "nothing stored before Update";
    EXPECT_TRUE(sandbox.logMessages().empty());
}

TEST_F(ConfigDialogTest, APickerThatCannotListIsLoggedByTheRowButton) {
    platform::UnreachableSpooler spooler;
    sandbox.platform().useSpooler(&spooler);
    settings.outputs[0].target = "kept";
    open();
    ui::qt::StandardChoosers standard(window, sandbox.application());
    window->setChoosers(standard);

    QTest::mouseClick(rowButton(0), Qt::LeftButton);
    sandbox.platform().useSpooler(nullptr);

    EXPECT_EQ(target(0)->text(), "kept");
    EXPECT_EQ(sandbox.logMessages(),
              std::vector<std::string>{"frmConfig::cmdOut::Click - The scheduler is not running"});
    EXPECT_FALSE(closed());
}

} // namespace
