#include "ui/qt/frmPrinters.h"

#include "ui/qt/ArialFont.h"
#include "ui/qt/Twips.h"

#include <QColor>
#include <QPalette>

frmPrinters::frmPrinters(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      lstPrinters(this), cmdOK("&OK", this), cmdCancel("&Cancel", this), picker(*this) {
    setObjectName("frmPrinters");
    setWindowTitle("Select Printer");
    const QRect client = ui::twipsRect(*this, 0, 0, 7245, 4890);
    setFixedSize(client.size());

    lstPrinters.setObjectName("lstPrinters");
    lstPrinters.setSelectionMode(QAbstractItemView::SingleSelection);
    lstPrinters.setSortingEnabled(false);
    QPalette palette = lstPrinters.palette();
    palette.setColor(QPalette::Base, QColor(192, 192, 192));
    lstPrinters.setPalette(palette);
    lstPrinters.setGeometry(ui::twipsRect(*this, 120, 120, 6975, 3960));

    cmdOK.setObjectName("cmdOK");
    cmdOK.setFont(ui::arialFont());
    cmdOK.setDefault(true);
    cmdOK.setGeometry(ui::twipsRect(*this, 2235, 4320, 1245, 345));
    connect(&cmdOK, &QPushButton::clicked, this, [this] { picker.ok(); });

    cmdCancel.setObjectName("cmdCancel");
    cmdCancel.setFont(ui::arialFont());
    cmdCancel.setGeometry(ui::twipsRect(*this, 3525, 4320, 1245, 345));
    connect(&cmdCancel, &QPushButton::clicked, this, [this] { picker.cancel(); });

    setTabOrder(&lstPrinters, &cmdOK);
    setTabOrder(&cmdOK, &cmdCancel);
    lstPrinters.setFocus();
}

std::optional<std::string> frmPrinters::showForm(QWidget* owner) {
    frmPrinters form(owner);
    form.picker.load();
    form.exec();
    return form.picker.chosen();
}

void frmPrinters::reject() {
    picker.cancel();
}

void frmPrinters::addPrinter(const std::string& name) {
    lstPrinters.addItem(QString::fromStdString(name));
}

int frmPrinters::printerCount() const {
    return lstPrinters.count();
}

bool frmPrinters::isPrinterSelected(int index) const {
    return lstPrinters.item(index)->isSelected();
}

std::string frmPrinters::printerText(int index) const {
    return lstPrinters.item(index)->text().toStdString();
}

void frmPrinters::closeWindow() {
    QDialog::reject();
}
