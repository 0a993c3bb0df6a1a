#include "ui/qt/AlertBox.h"

namespace ui::qt {

void AlertBox::show(const std::string& text) {
    if (!box_) {
        box_ = std::make_unique<QMessageBox>(QMessageBox::NoIcon, QStringLiteral("Tarvo"),
                                             QString(), QMessageBox::Ok);
        box_->setWindowModality(Qt::NonModal);
    }
    box_->setText(QString::fromStdString(text));
    box_->show();
    box_->raise();
}

} // namespace ui::qt
