#pragma once

#include <string>

namespace platform {

// A modal box with the caption "Tarvo", a text and one OK button; show() returns once it has
// been closed. The user interface gives the real box; without a screen the text goes to
// standard error.
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
