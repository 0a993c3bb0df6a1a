// The alert box on the screen: it never waits for its click, and one box serves every alert.
#include "tests/support/qt/UiTestSupport.h"
#include "ui/qt/AlertBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The alert boxes on the screen.
std::vector<QMessageBox*> shownBoxes() {
    std::vector<QMessageBox*> boxes;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box != nullptr && box->isVisible()) {
            boxes.push_back(box);
        }
    }
    return boxes;
}

} // namespace

TEST(AlertBox, ShowsWithoutWaitingForItsClickAndOneBoxServesEveryAlert) {
    uitest::ensureApplication();
    // A box that waited for its click would wait here for ever: this closes it after a while.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        for (QMessageBox* box : shownBoxes()) {
            box->close();
        }
    });
    closer.start(5000);

    ui::qt::AlertBox alerts;
    alerts.show("Main::logError - Is a directory");
    std::vector<QMessageBox*> boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u) << "show() waited for the click";
    closer.stop();
    EXPECT_EQ(boxes[0]->windowTitle(), "Tarvo");
    EXPECT_EQ(boxes[0]->text(), "Main::logError - Is a directory");
    EXPECT_EQ(boxes[0]->windowModality(), Qt::NonModal);

    // An alert while the box is open replaces its text.
    alerts.show("Main::logError - Not a regular file");
    boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->text(), "Main::logError - Not a regular file");

    // Its OK closes it; the next alert opens it again.
    QTest::mouseClick(boxes[0]->button(QMessageBox::Ok), Qt::LeftButton);
    EXPECT_TRUE(shownBoxes().empty());
    alerts.show("Main::logError - Permission denied");
    boxes = shownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]->text(), "Main::logError - Permission denied");
}
