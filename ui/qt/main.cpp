#include "core/Application.h"
#include "platform/AlertBox.h"
#include "platform/Codepage.h"
#include "platform/Platform.h"
#include "platform/Signals.h"
#include "ui/qt/TrayWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Jobs are routed with or without a screen: unless the user chose a platform, Qt tries the
// environment's display, then offscreen, so that a display that is gone does not stop the start.
void fallBackToHeadlessPlatform() {
    if (std::getenv("QT_QPA_PLATFORM") != nullptr) {
        return;
    }
    std::string platforms;
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        platforms += "wayland;";
    }
    if (std::getenv("DISPLAY") != nullptr) {
        platforms += "xcb;";
    }
    platforms += "offscreen";
    setenv("QT_QPA_PLATFORM", platforms.c_str(), 1);
}

class QtAlertBox final : public platform::AlertBox {
public:
    void show(const std::string& text) override {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tarvo"), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.exec();
    }
};

// Without a screen the text goes to standard error: an unseen box would stop the program.
bool hasScreen() {
    const QString platformName = QGuiApplication::platformName();
    return platformName != QLatin1String("offscreen") && platformName != QLatin1String("minimal");
}

} // namespace

int main(int argc, char** argv) {
    platform::reportFailedWritesAsErrors();
    platform::catchStopRequests();
    platform::initLocale();
    fallBackToHeadlessPlatform();
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QtAlertBox screenBox;
    platform::StandardErrorAlertBox standardErrorBox;
    platform::AlertBox& box =
        hasScreen() ? static_cast<platform::AlertBox&>(screenBox) : standardErrorBox;
    const std::unique_ptr<platform::Platform> platform = platform::makeSystemPlatform();
    core::Application application(*platform, box);
    std::unique_ptr<ui::qt::TrayWindow> trayWindow;
    if (!application.start([&](const std::string& watchedDirectory) {
            trayWindow = std::make_unique<ui::qt::TrayWindow>(application, watchedDirectory);
        })) {
        return EXIT_SUCCESS;
    }

    // A stop request (kill, Ctrl+C, a closed terminal) acts here, between ticks, as "Terminate".
    QSocketNotifier stopRequest(static_cast<qintptr>(platform::stopRequestDescriptor()),
                                QSocketNotifier::Read);
    QObject::connect(&stopRequest, &QSocketNotifier::activated, [&] {
        stopRequest.setEnabled(false);
        trayWindow->stop();
    });
    return qtApplication.exec();
}
