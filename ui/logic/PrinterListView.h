#pragma once

#include <string>

namespace ui::logic {

// What the printer picker's behaviour needs of its widgets: a single-selection list of names
// and the window that holds it. Entries are numbered from 0.
class PrinterListView {
public:
    virtual ~PrinterListView() = default;

    virtual void addPrinter(const std::string& name) = 0;
    virtual int printerCount() const = 0;
    virtual bool isPrinterSelected(int index) const = 0;
    virtual std::string printerText(int index) const = 0;

    // Closes the window.
    virtual void closeWindow() = 0;
};

} // namespace ui::logic
