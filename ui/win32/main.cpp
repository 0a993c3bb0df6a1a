// The Windows program: the common start-up, then the tray window's messages until the end.
#include "core/Application.h"
#include "platform/AlertBox.h"
#include "platform/Codepage.h"
#include "platform/Platform.h"
#include "ui/win32/TrayWindow.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

class WindowsAlertBox final : public platform::AlertBox {
public:
    void show(const std::string& text) override {
        MessageBoxA(nullptr, text.c_str(), "Tarvo", MB_OK);
    }
};

// Runs the messages until the program ends, waking the monitor when the directory changes. Stop
// requests are messages too, so they act between two ticks, after the job in hand.
int runMessages(ui::win32::TrayWindow& trayWindow) {
    const HANDLE changes = trayWindow.changesHandle();
    const DWORD handles = changes != nullptr ? 1 : 0;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(handles, &changes, INFINITE, QS_ALLINPUT,
                                                        MWMO_INPUTAVAILABLE);
        if (handles == 1 && woken == WAIT_OBJECT_0) {
            trayWindow.changesReady();
            continue;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            if (!trayWindow.isDialogMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
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

    WindowsAlertBox box;
    const std::unique_ptr<platform::Platform> platform = platform::makeSystemPlatform();
    core::Application application(*platform, box);
    std::unique_ptr<ui::win32::TrayWindow> trayWindow;
    if (!application.start([&](const std::string& watchedDirectory) {
            trayWindow = std::make_unique<ui::win32::TrayWindow>(application, watchedDirectory);
        })) {
        return 0;
    }
    return runMessages(*trayWindow);
}
