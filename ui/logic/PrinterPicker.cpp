#include "ui/logic/PrinterPicker.h"

#include "core/LogTexts.h"

#include <utility>

namespace ui::logic {

PrinterPicker::PrinterPicker(PrinterListView& view, platform::Spooler& spooler,
                             core::ActivityLog& log)
    : view_(view), spooler_(spooler), log_(log) {}

void PrinterPicker::load() {
    chosen_.reset();
    for (const std::string& name : spooler_.printerNames()) {
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
        log_.writeFailure(logtext::kConfigOut, e);
    }
}

void PrinterPicker::cancel() {
    view_.closeWindow();
}

} // namespace ui::logic
