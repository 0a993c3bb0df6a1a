#pragma once

#include <optional>
#include <string>

namespace ui::logic {

// What the configuration window's behaviour needs of its widgets. Rows are numbered 0 to 8.
class ConfigView {
public:
    virtual ~ConfigView() = default;

    virtual std::string monitorText() const = 0;
    virtual void setMonitorText(const std::string& text) = 0;

    // The name selected in the row's type list; "" when none is selected.
    virtual std::string rowType(int row) const = 0;
    // Selects the item with that name in the row's type list; "" selects none.
    virtual void setRowType(int row, const std::string& type) = 0;

    virtual std::string rowTarget(int row) const = 0;
    virtual void setRowTarget(int row, const std::string& target) = 0;

    // Closes the window and throws its contents away.
    virtual void closeWindow() = 0;

    // Each modal to the window; what the user chose, or nothing.
    virtual std::optional<std::string> chooseFile() = 0;
    virtual std::optional<std::string> chooseDirectory() = 0;
    virtual std::optional<std::string> choosePrinter() = 0;
};

} // namespace ui::logic
