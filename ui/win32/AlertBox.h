#pragma once

#include "platform/AlertBox.h"

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace ui::win32 {

// Windows' message box, shown by a thread of its own, so that neither the program's messages nor
// a job ever wait for the click. At most one box is open: a text given meanwhile is shown once
// it is closed, the latest of them only.
class AlertBox final : public platform::AlertBox {
public:
    AlertBox();
    // Closes a box that is open, and ends its thread.
    ~AlertBox() override;
    AlertBox(const AlertBox&) = delete;
    AlertBox& operator=(const AlertBox&) = delete;

    void show(const std::string& text) override;

    // Waits until no box is open nor waiting: for a program that ends before the user has read it.
    void waitUntilRead();

private:
    void showBoxes();
    void closeOpenBox();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::string> waiting_;
    bool open_ = false;
    bool ending_ = false;
    // The thread that shows the boxes, as the system knows it, for closing its box.
    DWORD threadId_ = 0;
    // Declared last: it starts once the rest is made.
    std::thread thread_;
};

} // namespace ui::win32
