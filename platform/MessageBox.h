#pragma once

#include <functional>
#include <string>

namespace platform {

// Shows a modal box with the caption "Tarvo", the text and one OK button, and waits for it to
// be closed. The user interface installs the real box; until then the text goes to standard
// error. Tests install their own hook to see what would have been shown.
using MessageBoxHook = std::function<void(const std::string& text)>;

// An empty hook restores the default.
void setMessageBoxHook(MessageBoxHook hook);

void showMessageBox(const std::string& text);

} // namespace platform
