#pragma once

#include "core/Application.h"
#include "core/Settings.h"
#include "ui/logic/ConfigController.h"
#include "ui/logic/ConfigView.h"
#include "ui/logic/TrayControl.h"
#include "ui/win32/DialogWindow.h"
#include "ui/win32/TextBox.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace ui::win32 {

// The configuration window "Tarvo Configuration": the monitor directory and the nine rows of
// the output map. Not modal, sizable with its controls staying where they are placed; closed
// for good by every way out, so that every opening starts from the stored settings.
class ConfigDialog final : private DialogWindow, private logic::ConfigView {
public:
    // Makes the window, hidden and centred on the screen, and fills it from the application's
    // settings, which it edits. Throws Failure when the window cannot be made.
    ConfigDialog(TrayControl& tray, core::Application& application);

    // Shows the window as it stands and brings it to the front.
    void show();
    // Whether the window is still open.
    bool isOpen() const { return window() != nullptr; }
    // Lets the dialog manager take a message of the message loop that is meant for this window
    // or its controls (Tab, the access keys, Enter and Esc); false for any other message.
    bool isDialogMessage(MSG& message);

private:
    void build() override;
    void command(int id, int notification, HWND control) override;
    void addRow(int row);

    std::string monitorText() const override;
    void setMonitorText(const std::string& text) override;
    std::string rowType(int row) const override;
    void setRowType(int row, const std::string& type) override;
    std::string rowTarget(int row) const override;
    void setRowTarget(int row, const std::string& target) override;
    void closeWindow() override;
    std::optional<std::string> chooseFile() override;
    std::optional<std::string> chooseDirectory() override;
    std::optional<std::string> choosePrinter() override;

    core::Application& application_;
    TextBox monitorDirectory_;
    std::array<HWND, core::kOutputs> rowTypes_{};
    std::array<TextBox, core::kOutputs> rowTargets_;
    logic::ConfigController controller_;
};

} // namespace ui::win32
