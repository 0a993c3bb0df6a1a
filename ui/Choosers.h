#pragma once

#include <optional>
#include <string>

class QWidget;

namespace ui {

// The three choosers that fill a row's target in the configuration window, each modal over
// parent. Each gives what the user chose, or nothing when the user left it without a choice.
class Choosers {
public:
    virtual ~Choosers() = default;

    virtual std::optional<std::string> chooseFile(QWidget* parent) = 0;
    virtual std::optional<std::string> chooseDirectory(QWidget* parent) = 0;
    virtual std::optional<std::string> choosePrinter(QWidget* parent) = 0;
};

// The file chooser, the directory chooser and the printer picker.
Choosers& standardChoosers();

} // namespace ui
