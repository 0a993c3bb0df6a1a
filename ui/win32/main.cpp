// The Windows program: the common start-up, then the tray window's messages until the end.
#include "core/Application.h"
#include "platform/Codepage.h"
#include "platform/Platform.h"
#include "ui/win32/AlertBox.h"
#include "ui/win32/MessageLoop.h"
#include "ui/win32/TrayWindow.h"
#include "version.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

namespace {

// A program with windows has no console of its own: --help and --version write to the console
// of the command prompt that started it, or wherever its output was sent.
void reachParentConsole() {
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN &&
        AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::FILE* reopened = nullptr;
        freopen_s(&reopened, "CONOUT$", "w", stdout);
        freopen_s(&reopened, "CONOUT$", "w", stderr);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // The start-up line reaches a file or a pipe at once: the C library would hold it back until
    // the program ends. Without a standard error it goes nowhere, and nothing fails.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    platform::initLocale();
    // The manifest's current-style controls need the common controls library.
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    std::unique_ptr<platform::Platform> platform;
    try {
        platform = platform::makeSystemPlatform();
    } catch (const std::exception& failure) {
        MessageBoxA(nullptr, (std::string("Tarvo cannot start: ") + failure.what()).c_str(),
                    "Tarvo", MB_OK);
        return EXIT_FAILURE;
    }
    ui::win32::AlertBox box;
    core::Application application(*platform, box);
    if (__argc > 1) {
        reachParentConsole();
    }
    if (const std::optional<int> status =
            application.answer({__argv + 1, __argv + __argc}, TARVO_VERSION)) {
        return *status;
    }
    std::unique_ptr<ui::win32::TrayWindow> trayWindow;
    if (!application.start([&](const std::string& watchedDirectory) {
            trayWindow = std::make_unique<ui::win32::TrayWindow>(application, watchedDirectory);
        })) {
        // Another Tarvo of the user runs: nothing failed. Anything else did, and a box that
        // tells of a log that could not be written stays until it is read.
        if (application.anotherRuns()) {
            return EXIT_SUCCESS;
        }
        box.waitUntilRead();
        return EXIT_FAILURE;
    }
    // Stop requests are messages too, so they act between two ticks, after the job in hand,
    // unless a wait within the job sees them first (platform::stopRequested).
    return ui::win32::runMessages(
        trayWindow->changesHandle(), [&] { trayWindow->changesReady(); },
        [&](MSG& message) { return trayWindow->isDialogMessage(message); });
}
