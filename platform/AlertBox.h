#pragma once

#include <string>

namespace platform {

// A box captioned "Tarvo" with a text and one OK button. show() returns at once, without
// waiting for the click, so that nothing waits for the user; at most one box is open, showing
// the latest text.
class AlertBox {
public:
    virtual ~AlertBox() = default;
    virtual void show(const std::string& text) = 0;
};

// The box of a program without a screen: one line "Tarvo: <text>" on standard error.
class StandardErrorAlertBox final : public AlertBox {
public:
    void show(const std::string& text) override;
};

} // namespace platform
