#pragma once

#include "core/ActivityLog.h"
#include "platform/Spooler.h"
#include "ui/logic/PrinterListView.h"
#include "ui/logic/PrinterPicker.h"
#include "ui/win32/DialogWindow.h"

#include <windows.h>

#include <optional>
#include <string>

namespace ui::win32 {

// The printer picker "Select Printer": a small fixed tool window, modal over its owner and
// centred on it, that lists the printers of the Windows spooler.
class PrinterDialog final : private DialogWindow, private logic::PrinterListView {
public:
    // Shows a freshly loaded picker modally over owner until it is closed: the chosen name, or
    // nothing. A failure while the printers are listed reaches the caller.
    static std::optional<std::string> choose(HWND owner, platform::Spooler& spooler,
                                             core::ActivityLog& log);

private:
    PrinterDialog(HWND owner, platform::Spooler& spooler, core::ActivityLog& log)
        : owner_(owner), picker_(*this, spooler, log) {}
    ~PrinterDialog() override;

    void build() override;
    void command(int id, int notification, HWND control) override;
    std::optional<INT_PTR> message(UINT message, WPARAM wParam, LPARAM lParam) override;

    void addPrinter(const std::string& name) override;
    int printerCount() const override;
    bool isPrinterSelected(int index) const override;
    std::string printerText(int index) const override;
    void closeWindow() override;

    HWND owner_;
    HWND printers_ = nullptr;
    // The list's light grey background.
    HBRUSH listBackground_ = nullptr;
    logic::PrinterPicker picker_;
};

} // namespace ui::win32
