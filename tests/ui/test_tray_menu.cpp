// The tray icon's menu and badges on a real X server (Xvfb), which has no notification area:
// the menu as the user meets it, the icon that a failure and a pause give, and the failure told
// on standard error, as without a tray it must be.
#include "core/Settings.h"
#include "tests/support/TestSupport.h"
#include "tests/support/qt/UiTestSupport.h"
#include "ui/logic/Badge.h"
#include "ui/qt/TrayWindow.h"

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

namespace {

using ui::logic::TrayIcon;

// The icon as the tray shows it at 32 pixels.
QImage shown(const QSystemTrayIcon& tray) {
    return tray.icon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage withBadge(QImage image, TrayIcon badge) {
    ui::logic::paintBadge(badge, reinterpret_cast<std::uint32_t*>(image.bits()), image.width());
    return image;
}

// Whether the two images look alike: the same size, and premultiplied channels that differ by
// rounding at most, as the pixmaps that the icon holds round them.
bool looksLike(const QImage& image, const QImage& other) {
    const QImage a = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = other.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != b.size()) {
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            for (int shift = 0; shift < 32; shift += 8) {
                const int p = static_cast<int>((a.pixel(x, y) >> shift) & 0xFF);
                const int q = static_cast<int>((b.pixel(x, y) >> shift) & 0xFF);
                if (std::abs(p - q) > 2) {
                    return false;
                }
            }
        }
    }
    return true;
}

TEST(TrayMenu, OffersItsItemsAndShowsAFailureAndAPauseOnTheIcon) {
    uitest::ensureApplication();
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    testsupport::AppSandbox sandbox;
    testsupport::TempDir watched;
    core::Settings& settings = sandbox.application().settings();
    settings.monitorDirectory = watched.path();
    settings.outputs[0] = {"Nope", "Ticket"};
    ui::qt::TrayWindow window(sandbox.application(), watched.path());
    auto* tray = window.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    QMenu* menu = tray->contextMenu();
    ASSERT_NE(menu, nullptr);
    const QImage normal = shown(*tray);

    menu->popup(QPoint(100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QStringList captions;
    QList<QAction*> items;
    for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) {
            captions << action->text();
            items << action;
        }
    }
    EXPECT_EQ(captions,
              (QStringList{QStringLiteral("Configuration\u2026"), "Open log", "Open watched folder",
                           "Open failed jobs", "Pause monitoring", "Terminate"}));
    EXPECT_EQ(menu->defaultAction(), items[0]);
    EXPECT_TRUE(items[2]->isEnabled());
    EXPECT_FALSE(items[3]->isEnabled()) << "no failed jobs yet";
    EXPECT_TRUE(items[4]->isCheckable());
    EXPECT_FALSE(items[4]->isChecked());
    menu->hide();

    // A section for a printer that does not exist: the warning badge, and without a tray the
    // notification's text on standard error.
    testing::internal::CaptureStderr();
    testsupport::writeFile(watched.file("job"), "@!@1lost");
    const std::string kept = watched.file("failed/job.section1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !looksLike(shown(*tray), normal); }));
    const std::string told = "Tarvo: Output 1 not delivered: Ticket \"Nope\": Printer Name not "
                             "recognized. Kept as " +
                             kept + "\n";
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find(told), std::string::npos) << errors;
    EXPECT_TRUE(looksLike(shown(*tray), withBadge(normal, TrayIcon::Warning)));
    EXPECT_NE(tray->toolTip().toStdString().find("\n"), std::string::npos);

    // Chosen with the keyboard in the menu: a pause shows the stopped badge and "paused".
    menu->popup(QPoint(100, 100));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    EXPECT_TRUE(items[3]->isEnabled());
    menu->setActiveAction(items[4]);
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }));
    EXPECT_TRUE(looksLike(shown(*tray), withBadge(normal, TrayIcon::Stopped)));
    EXPECT_TRUE(tray->toolTip().contains("\npaused\n"));
    items[4]->trigger();
    EXPECT_TRUE(looksLike(shown(*tray), withBadge(normal, TrayIcon::Warning)));

    // The configuration window: someone looked, the warning ends.
    items[0]->trigger();
    EXPECT_TRUE(looksLike(shown(*tray), normal));
    EXPECT_EQ(tray->toolTip().toStdString(), "Tarvo - Monitor active on " + watched.path());
}

} // namespace
