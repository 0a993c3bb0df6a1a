#pragma once

#include "core/modConfig.h"
#include "ui/logic/ConfigView.h"
#include "ui/logic/ConfigWindow.h"
#include "ui/logic/MainWindowControl.h"
#include "ui/win32/DialogWindow.h"
#include "ui/win32/TextBox.h"

#include <windows.h>

#include <array>
#include <optional>
#include <string>

// The configuration window "Tarvo Configuration": the monitor directory and the nine rows of
// the output map. Not modal, sizable with its controls staying where they are placed; closed
// for good by every way out, so that every opening starts from the stored settings.
class frmConfig final : private ui::win32::DialogWindow, private ui::logic::ConfigView {
public:
    // Makes the window, hidden and centred on the screen, and fills it from the settings, which
    // it edits. Throws Failure when the window cannot be made.
    frmConfig(ui::MainWindowControl& mainWindow, modConfig::Settings& settings);

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

    ui::win32::TextBox txtMonitor;
    std::array<HWND, modConfig::kOutputs> cboType{};
    std::array<ui::win32::TextBox, modConfig::kOutputs> txtMap;
    ui::logic::ConfigWindow logic;
};
