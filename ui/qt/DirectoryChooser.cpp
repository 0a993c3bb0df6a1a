#include "ui/qt/DirectoryChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace ui::qt {

QString directoryChooserStart(const QString& home) {
    const QString testFolder = home + "/Tarvo_Test";
    return QFileInfo(testFolder).isDir() ? testFolder : home;
}

std::optional<std::string> chooseDirectory(QWidget* parent, const std::string& home) {
    QFileDialog dialog(parent, "Specify Directory");
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setDirectory(directoryChooserStart(QString::fromStdString(home)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    // cleanPath drops a trailing separator but keeps the root's.
    return QDir::cleanPath(dialog.selectedFiles().first()).toStdString();
}

} // namespace ui::qt
