#pragma once

#include "ui/logic/Choosers.h"

class QWidget;

namespace ui {

// The file chooser, the directory chooser and the printer picker, each modal over parent.
class StandardChoosers final : public Choosers {
public:
    explicit StandardChoosers(QWidget* parent) : parent_(parent) {}

    std::optional<std::string> chooseFile() override;
    std::optional<std::string> chooseDirectory() override;
    std::optional<std::string> choosePrinter() override;

private:
    QWidget* parent_;
};

} // namespace ui
