#pragma once

#include "core/Application.h"
#include "ui/logic/Choosers.h"

class QWidget;

namespace ui::qt {

// The file chooser, the directory chooser and the printer picker, each modal over parent.
class StandardChoosers final : public Choosers {
public:
    StandardChoosers(QWidget* parent, core::Application& application)
        : parent_(parent), application_(application) {}

    std::optional<std::string> chooseFile() override;
    std::optional<std::string> chooseDirectory() override;
    std::optional<std::string> choosePrinter() override;

private:
    QWidget* parent_;
    core::Application& application_;
};

} // namespace ui::qt
