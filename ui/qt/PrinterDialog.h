#pragma once

#include "core/ActivityLog.h"
#include "platform/Spooler.h"
#include "ui/logic/PrinterListView.h"
#include "ui/logic/PrinterPicker.h"

#include <QDialog>
#include <QListWidget>
#include <QPushButton>

#include <optional>
#include <string>

namespace ui::qt {

// The printer picker "Select Printer": a modal list of the installed printers.
class PrinterDialog final : public QDialog, private logic::PrinterListView {
    Q_OBJECT

public:
    // Shows a freshly loaded picker modally over owner until it is closed: the chosen name, or
    // nothing. A failure while the printers are listed reaches the caller.
    static std::optional<std::string> choose(QWidget* owner, platform::Spooler& spooler,
                                             core::ActivityLog& log);

private:
    PrinterDialog(QWidget* owner, platform::Spooler& spooler, core::ActivityLog& log);

    // Esc and the close box act as "Cancel".
    void reject() override;

    void addPrinter(const std::string& name) override;
    int printerCount() const override;
    bool isPrinterSelected(int index) const override;
    std::string printerText(int index) const override;
    void closeWindow() override;

    QListWidget printers_;
    QPushButton ok_;
    QPushButton cancel_;
    logic::PrinterPicker picker_;
};

} // namespace ui::qt
