#pragma once

#include <windows.h>

#include <functional>

namespace ui::win32 {

// Runs the thread's messages until WM_QUIT, whose exit code it returns. While changes (nullptr
// for none) is signalled, changesReady is called; the messages are read every time round all the
// same, so that a steady stream of changes never holds up clicks, windows or the end of the
// session. takesMessage lets a dialog take its keyboard messages first: true when it did.
int runMessages(HANDLE changes, const std::function<void()>& changesReady,
                const std::function<bool(MSG&)>& takesMessage);

} // namespace ui::win32
