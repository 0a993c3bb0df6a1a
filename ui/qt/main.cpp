#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/MessageBox.h"
#include "platform/Signals.h"
#include "ui/qt/frmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

// Tarvo routes jobs with or without a screen. Unless the user chose a platform, Qt tries the
// display that the environment names and falls back to its offscreen platform, so that a
// display that is gone (a closed forwarded session, a stopped X server) does not keep the
// program from starting.
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

// A box that nobody can see would stop the program for good, so without a screen the text
// goes to standard error instead.
void installMessageBox() {
    const QString platformName = QGuiApplication::platformName();
    if (platformName == QLatin1String("offscreen") || platformName == QLatin1String("minimal")) {
        return;
    }
    platform::setMessageBoxHook([](const std::string& text) {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tarvo"), QString::fromStdString(text),
                        QMessageBox::Ok);
        box.exec();
    });
}

} // namespace

int main(int argc, char** argv) {
    platform::reportFailedWritesAsErrors();
    platform::catchStopRequests();
    platform::initLocale();
    fallBackToHeadlessPlatform();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    installMessageBox();

    modConfig::Settings settings;
    std::unique_ptr<frmMain> mainWindow;
    if (!modMain::Main(settings, [&](const std::string& strWatchDir) {
            mainWindow = std::make_unique<frmMain>(settings, strWatchDir);
        })) {
        return EXIT_SUCCESS;
    }

    // A request to stop (kill, Ctrl+C, a closed terminal) is acted on here, between two ticks:
    // a job runs within one tick, so the job in hand has been routed to its end. The program
    // then ends as "Terminate" ends it.
    QSocketNotifier stopRequest(platform::stopRequestDescriptor(), QSocketNotifier::Read);
    QObject::connect(&stopRequest, &QSocketNotifier::activated, [&] {
        stopRequest.setEnabled(false);
        mainWindow->stop();
    });
    return application.exec();
}
