#include "ui/qt/StandardChoosers.h"

#include "ui/qt/DirectoryChooser.h"
#include "ui/qt/FileChooser.h"
#include "ui/qt/PrinterDialog.h"

namespace ui::qt {

std::optional<std::string> StandardChoosers::chooseFile() {
    return qt::chooseFile(parent_);
}

std::optional<std::string> StandardChoosers::chooseDirectory() {
    return qt::chooseDirectory(parent_, application_.platform().locations().homeDirectory);
}

std::optional<std::string> StandardChoosers::choosePrinter() {
    return PrinterDialog::choose(parent_, application_.platform().spooler(), application_.log());
}

} // namespace ui::qt
