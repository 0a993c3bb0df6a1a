#include "ui/win32/AlertBox.h"

#include <chrono>

namespace ui::win32 {

AlertBox::AlertBox() : thread_([this] { showBoxes(); }) {}

// A box may be opening as it is asked to close: it is asked again until the thread has ended.
AlertBox::~AlertBox() {
    std::unique_lock lock(mutex_);
    ending_ = true;
    waiting_.reset();
    changed_.notify_all();
    while (open_) {
        lock.unlock();
        closeOpenBox();
        lock.lock();
        changed_.wait_for(lock, std::chrono::milliseconds(100), [this] { return !open_; });
    }
    lock.unlock();
    thread_.join();
}

void AlertBox::show(const std::string& text) {
    const std::lock_guard lock(mutex_);
    waiting_ = text;
    changed_.notify_all();
}

void AlertBox::waitUntilRead() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !open_ && !waiting_; });
}

// The box's thread: one box after the other, each for the latest text given.
void AlertBox::showBoxes() {
    std::unique_lock lock(mutex_);
    threadId_ = GetCurrentThreadId();
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || waiting_; });
        if (ending_) {
            return;
        }
        const std::string text = std::move(*waiting_);
        waiting_.reset();
        open_ = true;
        lock.unlock();
        MessageBoxA(nullptr, text.c_str(), "Tarvo", MB_OK);
        lock.lock();
        open_ = false;
        changed_.notify_all();
    }
}

// As a click on its OK button.
void AlertBox::closeOpenBox() {
    EnumThreadWindows(
        threadId_,
        [](HWND window, LPARAM) {
            PostMessageA(window, WM_COMMAND, IDOK, 0);
            return TRUE;
        },
        0);
}

} // namespace ui::win32
