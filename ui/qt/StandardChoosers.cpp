#include "ui/qt/StandardChoosers.h"

#include "ui/qt/DirectoryChooser.h"
#include "ui/qt/FileChooser.h"
#include "ui/qt/frmPrinters.h"

namespace ui {

std::optional<std::string> StandardChoosers::chooseFile() {
    return ui::chooseFile(parent_);
}

std::optional<std::string> StandardChoosers::chooseDirectory() {
    return ui::chooseDirectory(parent_);
}

std::optional<std::string> StandardChoosers::choosePrinter() {
    return frmPrinters::showForm(parent_);
}

} // namespace ui
