#include "ui/logic/PrinterPicker.h"

#include "core/Prefixes.h"
#include "core/modMain.h"
#include "platform/Spooler.h"

#include <utility>

namespace ui::logic {

PrinterPicker::PrinterPicker(PrinterListView& view) : view_(view) {}

void PrinterPicker::load() {
    chosen_.reset();
    for (const std::string& name : platform::spooler().printerNames()) {
        view_.addPrinter(name);
    }
}

void PrinterPicker::ok() {
    // The picker serves only the configuration window's row buttons, so a failure here is
    // reported as theirs; the picker stays open and the choice stays as it was.
    try {
        std::optional<std::string> selected;
        for (int index = 0; index < view_.printerCount(); ++index) {
            if (view_.isPrinterSelected(index)) {
                selected = view_.printerText(index);
            }
        }
        chosen_ = std::move(selected);
        view_.closeWindow();
    } catch (const std::exception& e) {
        modMain::logFailure(prefix::kConfigOut, e);
    }
}

void PrinterPicker::cancel() {
    view_.closeWindow();
}

} // namespace ui::logic
