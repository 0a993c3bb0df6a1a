#include "core/modMain.h"
#include "platform/Codepage.h"
#include "platform/MessageBox.h"
#include "platform/Signals.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <memory>

namespace {

// Without any display Tarvo still routes jobs: Qt then runs on its offscreen platform.
void chooseHeadlessPlatformWithoutDisplay() {
    const bool hasDisplay = std::getenv("DISPLAY") != nullptr ||
                            std::getenv("WAYLAND_DISPLAY") != nullptr ||
                            std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (!hasDisplay) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
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
    platform::initLocale();
    chooseHeadlessPlatformWithoutDisplay();
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    installMessageBox();

    std::unique_ptr<frmMain> mainWindow;
    if (!modMain::Main([&mainWindow] { mainWindow = std::make_unique<frmMain>(); })) {
        return EXIT_SUCCESS;
    }
    return application.exec();
}
