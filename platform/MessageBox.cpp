#include "platform/MessageBox.h"

#include <cstdio>

namespace platform {
namespace {
MessageBoxHook currentHook;
}

void setMessageBoxHook(MessageBoxHook hook) {
    currentHook = std::move(hook);
}

void showMessageBox(const std::string& text) {
    if (currentHook) {
        currentHook(text);
        return;
    }
    std::fprintf(stderr, "Tarvo: %s\n", text.c_str());
}

} // namespace platform
