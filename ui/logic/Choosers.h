#pragma once

#include <optional>
#include <string>

namespace ui {

// The three choosers that fill a row's target in the configuration window, each modal over
// that window. Each gives what the user chose, or nothing when the user left it without a
// choice.
class Choosers {
public:
    virtual ~Choosers() = default;

    virtual std::optional<std::string> chooseFile() = 0;
    virtual std::optional<std::string> chooseDirectory() = 0;
    virtual std::optional<std::string> choosePrinter() = 0;
};

} // namespace ui
