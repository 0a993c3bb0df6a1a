// The printer picker over the tests' own CUPS scheduler, driven with clicks and keys.
#include "tests/support/TestSupport.h"
#include "tests/support/posix/CupsQueues.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/PrinterDialog.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using uitest::child;

class PrinterDialogTest : public ::testing::Test {
protected:
    PrinterDialogTest() { uitest::ensureApplication(); }

    testsupport::AppSandbox sandbox;
    const std::unique_ptr<platform::Spooler> spooler = platform::makeSystemSpooler();

    // Shows the picker of the system's printers, lets act work on it, and gives what it
    // returned; names holds the list as it was shown.
    std::optional<std::string> pick(const std::function<void(QWidget*, QListWidget*)>& act) {
        names.clear();
        const auto inspect = uitest::onNextModal([&](QWidget* picker) {
            QListWidget* list = child<QListWidget>(picker, "printers");
            for (int i = 0; i < list->count(); ++i) {
                names.push_back(list->item(i)->text().toStdString());
            }
            selectedOnOpen = !list->selectedItems().isEmpty();
            act(picker, list);
        });
        return ui::qt::PrinterDialog::choose(nullptr, *spooler, sandbox.log());
    }

    // Clicks the entry of that name.
    static void select(QListWidget* list, const std::string& name) {
        const auto found = list->findItems(QString::fromStdString(name), Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1);
        list->scrollToItem(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(found.first()).center());
    }

    static QPushButton* button(QWidget* picker, const char* name) {
        return child<QPushButton>(picker, name);
    }

    int indexOf(const std::string& name) const {
        const auto at = std::find(names.begin(), names.end(), name);
        return at == names.end() ? -1 : static_cast<int>(at - names.begin());
    }

    std::vector<std::string> names;
    bool selectedOnOpen = false;
    cupstest::CaptureQueue receipt{"ui_picker_receipt"};
    cupstest::CaptureQueue label{"ui_picker_label"};
};

TEST_F(PrinterDialogTest, ListsTheSchedulersQueuesAndGivesTheOneConfirmed) {
    auto chosen = pick([](QWidget* picker, QListWidget* list) {
        select(list, "ui_picker_label");
        QTest::mouseClick(button(picker, "ok"), Qt::LeftButton);
    });
    EXPECT_EQ(chosen, "ui_picker_label");
    EXPECT_GE(indexOf("ui_picker_receipt"), 0);
    EXPECT_GE(indexOf("ui_picker_label"), 0);
    EXPECT_FALSE(selectedOnOpen);

    // A queue added since is listed the next time; Enter confirms too, and the earlier choice is
    // not preselected.
    cupstest::CaptureQueue added{"ui_picker_added"};
    chosen = pick([](QWidget*, QListWidget* list) {
        select(list, "ui_picker_added");
        QTest::keyClick(list, Qt::Key_Return);
    });
    EXPECT_EQ(chosen, "ui_picker_added");
    EXPECT_FALSE(selectedOnOpen);
}

TEST_F(PrinterDialogTest, EveryWayOutWithoutAChoiceGivesNothing) {
    using Leave = std::function<void(QWidget*, QListWidget*)>;
    const std::vector<std::pair<std::string, Leave>> ways = {
        {"OK with nothing selected",
         [](QWidget* picker, QListWidget*) {
             QTest::mouseClick(button(picker, "ok"), Qt::LeftButton);
         }},
        {"Cancel",
         [](QWidget* picker, QListWidget* list) {
             select(list, "ui_picker_receipt");
             QTest::mouseClick(button(picker, "cancel"), Qt::LeftButton);
         }},
        {"Esc",
         [](QWidget*, QListWidget* list) {
             select(list, "ui_picker_receipt");
             QTest::keyClick(list, Qt::Key_Escape);
         }},
        {"close box",
         [](QWidget* picker, QListWidget* list) {
             select(list, "ui_picker_receipt");
             picker->close();
         }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        EXPECT_EQ(pick(leave), std::nullopt);
    }
}

TEST_F(PrinterDialogTest, IsASmallFixedToolWindowWithTheListFocused) {
    pick([](QWidget* picker, QListWidget* list) {
        EXPECT_EQ(picker->windowTitle(), "Select Printer");
        EXPECT_TRUE(picker->windowFlags().testFlag(Qt::Tool));
        EXPECT_FALSE(picker->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_EQ(picker->minimumSize(), picker->maximumSize());
        EXPECT_EQ(button(picker, "ok")->text(), "&OK");
        EXPECT_TRUE(button(picker, "ok")->isDefault());
        EXPECT_EQ(button(picker, "cancel")->text(), "&Cancel");
        EXPECT_EQ(list->palette().color(QPalette::Base), QColor(192, 192, 192));
        EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), button(picker, "ok"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), button(picker, "cancel"));
        QTest::keyClick(picker, Qt::Key_Escape);
    });
}

} // namespace
