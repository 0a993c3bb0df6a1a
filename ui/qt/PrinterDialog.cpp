#include "ui/qt/PrinterDialog.h"

#include "ui/qt/ArialFont.h"
#include "ui/qt/Twips.h"

#include <QColor>
#include <QPalette>

namespace ui::qt {

PrinterDialog::PrinterDialog(QWidget* owner, platform::Spooler& spooler, core::ActivityLog& log)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      printers_(this), ok_("&OK", this), cancel_("&Cancel", this), picker_(*this, spooler, log) {
    setObjectName("printerDialog");
    setWindowTitle("Select Printer");
    const QRect client = twipsRect(*this, 0, 0, 7245, 4890);
    setFixedSize(client.size());

    printers_.setObjectName("printers");
    printers_.setSelectionMode(QAbstractItemView::SingleSelection);
    printers_.setSortingEnabled(false);
    QPalette palette = printers_.palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    printers_.setPalette(palette);
    printers_.setGeometry(twipsRect(*this, 120, 120, 6975, 3960));

    ok_.setObjectName("ok");
    ok_.setFont(arialFont());
    ok_.setDefault(true);
    ok_.setGeometry(twipsRect(*this, 2235, 4320, 1245, 345));
    connect(&ok_, &QPushButton::clicked, this, [this] { picker_.ok(); });

    cancel_.setObjectName("cancel");
    cancel_.setFont(arialFont());
    cancel_.setGeometry(twipsRect(*this, 3525, 4320, 1245, 345));
    connect(&cancel_, &QPushButton::clicked, this, [this] { picker_.cancel(); });

    setTabOrder(&printers_, &ok_);
    setTabOrder(&ok_, &cancel_);
    printers_.setFocus();
}

std::optional<std::string> PrinterDialog::choose(QWidget* owner, platform::Spooler& spooler,
                                                 core::ActivityLog& log) {
    PrinterDialog dialog(owner, spooler, log);
    dialog.picker_.load();
    dialog.exec();
    return dialog.picker_.chosen();
}

void PrinterDialog::reject() {
    picker_.cancel();
}

void PrinterDialog::addPrinter(const std::string& name) {
    printers_.addItem(QString::fromStdString(name));
}

int PrinterDialog::printerCount() const {
    return printers_.count();
}

bool PrinterDialog::isPrinterSelected(int index) const {
    return printers_.item(index)->isSelected();
}

std::string PrinterDialog::printerText(int index) const {
    return printers_.item(index)->text().toStdString();
}

void PrinterDialog::closeWindow() {
    QDialog::reject();
}

} // namespace ui::qt
