#pragma once

#include "platform/AlertBox.h"

#include <QMessageBox>

#include <memory>
#include <string>

namespace ui::qt {

// The alert box on the screen: a window of its own that waits for its click while the program
// goes on. One box serves every alert; an alert while it is open replaces its text.
class AlertBox final : public platform::AlertBox {
public:
    void show(const std::string& text) override;

private:
    std::unique_ptr<QMessageBox> box_;
};

} // namespace ui::qt
