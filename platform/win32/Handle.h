#pragma once

#include <windows.h>

#include <utility>

namespace platform::win32 {

// A kernel object's handle, closed when it goes; INVALID_HANDLE_VALUE and nullptr mean none.
class Handle {
public:
    explicit Handle(HANDLE handle = nullptr)
        : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() {
        if (handle_ != nullptr) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up to the caller, who closes it.
    HANDLE release() { return std::exchange(handle_, nullptr); }

private:
    HANDLE handle_;
};

} // namespace platform::win32
