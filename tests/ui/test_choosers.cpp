// The file chooser and the directory chooser, driven through Qt's own dialog.
#include "platform/Paths.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/DirectoryChooser.h"
#include "ui/qt/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

using uitest::child;

class Choosers : public ::testing::Test {
protected:
    Choosers() { uitest::ensureApplication(); }

    // The user's home, where the directory chooser starts.
    static std::string home() { return platform::systemLocations().homeDirectory; }

    // Types a name into the open dialog and presses Enter.
    static void enter(QWidget* dialog, const std::string& name) {
        QLineEdit* edit = child<QLineEdit>(dialog, "fileNameEdit");
        edit->setText(QString::fromStdString(name));
        QTest::keyClick(edit, Qt::Key_Return);
    }

    testsupport::TempDir dir;
};

TEST_F(Choosers, FileChooserTakesAnyNameInAnExistingDirectoryWithoutAsking) {
    testsupport::writeFile(dir.file("existing.txt"), "old");
    for (const std::string name : {"new.txt", "existing.txt"}) {
        SCOPED_TRACE(name);
        QString title;
        bool asked = false;
        const auto chooser = uitest::onNextModal([&](QWidget* dialog) {
            title = dialog->windowTitle();
            auto* files = qobject_cast<QFileDialog*>(dialog);
            EXPECT_EQ(files->acceptMode(), QFileDialog::AcceptSave);
            // A question about overwriting would be a second modal window.
            const auto question = uitest::onNextModal([&](QWidget* box) {
                asked = true;
                box->close();
            });
            enter(dialog, dir.file(name));
        });
        EXPECT_EQ(ui::qt::chooseFile(nullptr), dir.file(name));
        EXPECT_EQ(title, "Specify File");
        EXPECT_FALSE(asked);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(testsupport::readFile(dir.file("existing.txt")), "old");
}

TEST_F(Choosers, FileChooserRefusesAMissingDirectoryAndCancelGivesNothing) {
    const std::string missing = dir.file("missing") + "/out.txt";
    QString warning;
    bool stillOpen = false;
    const auto chooser = uitest::onNextModal([&](QWidget* dialog) {
        const auto warningBox = uitest::onNextModal([&](QWidget* box) {
            warning = qobject_cast<QMessageBox*>(box)->text();
            box->close();
        });
        enter(dialog, missing);
        stillOpen = dialog->isVisible();
        if (::geteuid() != 0) { // the superuser may write anywhere
            testsupport::writeFile(dir.file("locked.txt"), "");
            ::chmod(dir.file("locked.txt").c_str(), 0444);
            const auto readOnlyWarning = uitest::onNextModal([](QWidget* box) { box->close(); });
            enter(dialog, dir.file("locked.txt"));
            EXPECT_TRUE(dialog->isVisible()) << "a read-only file is refused";
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ui::qt::chooseFile(nullptr), std::nullopt);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(warning.contains("Path does not exist")) << warning.toStdString();
}

TEST_F(Choosers, DirectoryChooserStartsInTarvoTestOrHome) {
    const QString home = QString::fromStdString(dir.path());
    EXPECT_EQ(ui::qt::directoryChooserStart(home), home);
    testsupport::writeFile(dir.file("Tarvo_Test"), "a file, not a directory");
    EXPECT_EQ(ui::qt::directoryChooserStart(home), home);
    ::unlink(dir.file("Tarvo_Test").c_str());
    ASSERT_TRUE(QDir(home).mkdir("Tarvo_Test"));
    EXPECT_EQ(ui::qt::directoryChooserStart(home), home + "/Tarvo_Test");
}

TEST_F(Choosers, DirectoryChooserGivesTheDirectoryWithoutATrailingSeparator) {
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).mkdir("out"));
    struct Case {
        std::string typed;
        std::string expected;
    };
    for (const Case& c : {Case{dir.file("out") + "/", dir.file("out")}, Case{"/", "/"}}) {
        SCOPED_TRACE(c.typed);
        QString title;
        const auto chooser = uitest::onNextModal([&](QWidget* dialog) {
            title = dialog->windowTitle();
            enter(dialog, c.typed);
        });
        EXPECT_EQ(ui::qt::chooseDirectory(nullptr, home()), c.expected);
        EXPECT_EQ(title, "Specify Directory");
    }

    const auto cancelling =
        uitest::onNextModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(ui::qt::chooseDirectory(nullptr, home()), std::nullopt);
}

TEST_F(Choosers, AFileChoiceDoesNotInheritTheDirectoryChoosersSettings) {
    ASSERT_TRUE(QDir(QString::fromStdString(dir.path())).mkdir("chosen"));
    const auto directoryChooser =
        uitest::onNextModal([&](QWidget* dialog) { enter(dialog, dir.file("chosen")); });
    ASSERT_EQ(ui::qt::chooseDirectory(nullptr, home()), dir.file("chosen"));

    QString shown;
    QStringList filters;
    const auto fileChooser = uitest::onNextModal([&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        shown = files->directory().absolutePath();
        filters = files->nameFilters();
        EXPECT_EQ(files->fileMode(), QFileDialog::AnyFile);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ui::qt::chooseFile(nullptr), std::nullopt);
    EXPECT_NE(shown.toStdString(), dir.file("chosen"));
    EXPECT_EQ(shown, QDir::currentPath());
    EXPECT_FALSE(filters.join(";").contains("~#~"));
}

} // namespace
