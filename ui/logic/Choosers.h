#pragma once

#include <optional>
#include <string>

namespace ui {

// Choosers for a row's target, each modal over the configuration window: the choice, or nothing.
class Choosers {
public:
    virtual ~Choosers() = default;

    virtual std::optional<std::string> chooseFile() = 0;
    virtual std::optional<std::string> chooseDirectory() = 0;
    virtual std::optional<std::string> choosePrinter() = 0;
};

} // namespace ui
