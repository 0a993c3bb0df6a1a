#include "tests/support/qt/UiTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

namespace uitest {

void ensureApplication() {
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tarvo-ui-test";
        static char* argv[] = {name, nullptr};
        // Lives until the process ends; Qt's own globals go first.
        new QApplication(argc, argv);
    }
}

std::unique_ptr<QObject> onNextModal(std::function<void(QWidget* modal)> action) {
    QWidget* before = QApplication::activeModalWidget();
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(10);
    QTimer* raw = timer.get();
    QObject::connect(raw, &QTimer::timeout, raw, [raw, before, action] {
        // Shown is not yet active: the window system activates a new window a moment later,
        // and until then no widget of it has the focus.
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != before && modal->isVisible() &&
            QApplication::activeWindow() == modal) {
            raw->stop();
            action(modal);
        }
    });
    raw->start();
    return timer;
}

void pressAccessKey(QWidget* window, Qt::Key key) {
    QTest::keyClick(window, key, Qt::AltModifier);
    // A button pressed by its access key shows itself down and clicks a moment later; the click
    // may close the window.
    const QPointer<QWidget> alive(window);
    const bool clicked = QTest::qWaitFor([&] {
        if (alive.isNull()) {
            return true;
        }
        const auto buttons = alive->findChildren<QAbstractButton*>();
        return std::none_of(buttons.begin(), buttons.end(),
                            [](const QAbstractButton* b) { return b->isDown(); });
    });
    EXPECT_TRUE(clicked) << "a button stayed down";
}

void processDeletions() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace uitest
