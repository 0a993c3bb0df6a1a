#include "ui/win32/MessageLoop.h"

namespace ui::win32 {

int runMessages(HANDLE changes, const std::function<void()>& changesReady,
                const std::function<bool(MSG&)>& takesMessage) {
    const DWORD handles = changes != nullptr ? 1 : 0;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjectsEx(handles, &changes, INFINITE, QS_ALLINPUT,
                                                        MWMO_INPUTAVAILABLE);
        if (handles == 1 && woken == WAIT_OBJECT_0) {
            changesReady();
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<int>(message.wParam);
            }
            if (!takesMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }
}

} // namespace ui::win32
