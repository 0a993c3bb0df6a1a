#pragma once

#include "ui/logic/PrinterListView.h"
#include "ui/logic/PrinterPicker.h"

#include <QDialog>
#include <QListWidget>
#include <QPushButton>

#include <optional>
#include <string>

// The printer picker "Select Printer": a modal list of the installed printers.
class frmPrinters final : public QDialog, private ui::logic::PrinterListView {
    Q_OBJECT

public:
    // Shows a freshly loaded picker modally over owner and waits until it is closed. Gives the
    // chosen printer's name, or nothing when it was left without a choice. A failure while the
    // printers are listed reaches the caller.
    static std::optional<std::string> showForm(QWidget* owner = nullptr);

private:
    explicit frmPrinters(QWidget* owner);

    // Esc and the close box act as "Cancel".
    void reject() override;

    void addPrinter(const std::string& name) override;
    int printerCount() const override;
    bool isPrinterSelected(int index) const override;
    std::string printerText(int index) const override;
    void closeWindow() override;

    QListWidget lstPrinters;
    QPushButton cmdOK;
    QPushButton cmdCancel;
    ui::logic::PrinterPicker picker;
};
