#pragma once

#include "core/ActivityLog.h"
#include "platform/Spooler.h"
#include "ui/logic/PrinterListView.h"

#include <optional>
#include <string>

namespace ui::logic {

// The printer picker's behaviour: lists the installed printers and keeps the confirmed name.
class PrinterPicker {
public:
    PrinterPicker(PrinterListView& view, platform::Spooler& spooler, core::ActivityLog& log);

    // Clears the choice and lists the spooler's printers in its order. Failures reach the caller.
    void load();
    // Takes the selected entry, if any, as the choice and closes.
    void ok();
    // Closes without a choice.
    void cancel();

    // The confirmed name; nothing when the picker was left without a choice.
    const std::optional<std::string>& chosen() const { return chosen_; }

private:
    PrinterListView& view_;
    platform::Spooler& spooler_;
    core::ActivityLog& log_;
    std::optional<std::string> chosen_;
};

} // namespace ui::logic
