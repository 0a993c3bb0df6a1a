#include "ui/qt/FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace ui::qt {

namespace {

class FileChooserDialog final : public QFileDialog {
public:
    explicit FileChooserDialog(QWidget* parent) : QFileDialog(parent, "Specify File") {
        // Qt's own dialog, so that accept() below decides on every platform.
        setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        // Named explicitly: Qt would start where the process's last file dialog was.
        setDirectory(QDir::currentPath());
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (!files.isEmpty()) {
            const QString refusal = refusalOf(QFileInfo(files.first()));
            if (!refusal.isEmpty()) {
                QMessageBox::warning(this, windowTitle(), refusal);
                return;
            }
        }
        QFileDialog::accept();
    }

private:
    // Why the name cannot be taken; empty when it can or names a directory (which then opens).
    static QString refusalOf(const QFileInfo& file) {
        const QFileInfo directory(file.absolutePath());
        if (file.isDir()) {
            return {};
        }
        if (!directory.isDir()) {
            return tr("%1\nPath does not exist.\nCheck the path and try again.")
                .arg(file.filePath());
        }
        if (file.exists() ? !file.isWritable() : !directory.isWritable()) {
            return tr("%1\nThis file or its folder is write-protected.\nTry again with a "
                      "different file name.")
                .arg(file.filePath());
        }
        return {};
    }
};

} // namespace

std::optional<std::string> chooseFile(QWidget* parent) {
    FileChooserDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first().toStdString();
}

} // namespace ui::qt
