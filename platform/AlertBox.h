#pragma once

#include <string>

namespace platform {

// A modal box captioned "Tarvo" with a text and one OK button; show() returns once it is closed.
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
