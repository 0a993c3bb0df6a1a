#include "ui/Choosers.h"
#include "ui/DirectoryChooser.h"
#include "ui/FileChooser.h"
#include "ui/frmPrinters.h"

namespace ui {

namespace {

class StandardChoosers final : public Choosers {
public:
    std::optional<std::string> chooseFile(QWidget* parent) override {
        return ui::chooseFile(parent);
    }
    std::optional<std::string> chooseDirectory(QWidget* parent) override {
        return ui::chooseDirectory(parent);
    }
    std::optional<std::string> choosePrinter(QWidget* parent) override {
        return frmPrinters::showForm(parent);
    }
};

} // namespace

Choosers& standardChoosers() {
    static StandardChoosers choosers;
    return choosers;
}

} // namespace ui
