#pragma once

#include <string>

namespace ui::logic {

// What the printer picker needs of its widgets: a single-selection list, numbered from 0.
class PrinterListView {
public:
    virtual ~PrinterListView() = default;

    virtual void addPrinter(const std::string& name) = 0;
    virtual int printerCount() const = 0;
    virtual bool isPrinterSelected(int index) const = 0;
    virtual std::string printerText(int index) const = 0;

    virtual void closeWindow() = 0;
};

} // namespace ui::logic
