#include "core/Application.h"
#include "platform/AlertBox.h"
#include "platform/Codepage.h"
#include "platform/Platform.h"
#include "platform/Signals.h"
#include "ui/qt/AlertBox.h"
#include "ui/qt/DisplayChoice.h"
#include "ui/qt/TrayWindow.h"
#include "version.h"

#include <QApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

// Without a screen the text goes to standard error: an unseen box would stop the program.
bool hasScreen() {
    const QString platformName = QGuiApplication::platformName();
    return platformName != QLatin1String("offscreen") && platformName != QLatin1String("minimal");
}

} // namespace

int main(int argc, char** argv) {
    platform::initLocale();
    std::unique_ptr<platform::Platform> platform;
    try {
        platform = platform::makeSystemPlatform();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "Tarvo: cannot start: %s\n", failure.what());
        return EXIT_FAILURE;
    }
    platform::StandardErrorAlertBox standardErrorBox;
    // --help and --version are answered before Qt starts, which might look for a screen.
    if (const std::optional<int> status = core::Application(*platform, standardErrorBox)
                                              .answer({argv + 1, argv + argc}, TARVO_VERSION)) {
        return *status;
    }

    platform::reportFailedWritesAsErrors();
    platform::catchStopRequests();
    ui::qt::chooseQtPlatform();
    ui::qt::quietenHeadlessNotes();
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    ui::qt::AlertBox screenBox;
    platform::AlertBox& box =
        hasScreen() ? static_cast<platform::AlertBox&>(screenBox) : standardErrorBox;
    core::Application application(*platform, box);
    std::unique_ptr<ui::qt::TrayWindow> trayWindow;
    if (!application.start([&](const std::string& watchedDirectory) {
            trayWindow = std::make_unique<ui::qt::TrayWindow>(application, watchedDirectory);
        })) {
        // Another Tarvo of the user runs: nothing failed. Anything else did.
        return application.anotherRuns() ? EXIT_SUCCESS : EXIT_FAILURE;
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
