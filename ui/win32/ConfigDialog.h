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

// "Tarvo Configuration": modeless and sizable; every way out destroys it, so each opening is fresh.
class ConfigDialog final : private DialogWindow, private logic::ConfigView {
public:
    // Made hidden and centred, filled from the settings. Throws Failure when it cannot be made.
    ConfigDialog(TrayControl& tray, core::Application& application);

    // Shows the window as it stands and brings it to the front.
    void show();
    bool isOpen() const { return window() != nullptr; }
    // Lets the dialog manager take this window's keyboard messages; false for any other.
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
