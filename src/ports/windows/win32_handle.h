#pragma once

#include <windows.h>

#include <utility>

namespace korvane::ports {

// An owned kernel object HANDLE, closed once, when its owner ends or reset() is called.
// INVALID_HANDLE_VALUE and null both mean "none", as CreateFile and the others return them.
class Win32Handle {
  public:
    explicit Win32Handle(HANDLE handle = INVALID_HANDLE_VALUE) noexcept : handle_(handle) {}
    Win32Handle(Win32Handle&& other) noexcept : handle_(other.release()) {}
    Win32Handle& operator=(Win32Handle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    Win32Handle(const Win32Handle&) = delete;
    Win32Handle& operator=(const Win32Handle&) = delete;
    ~Win32Handle() { reset(); }

    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    HANDLE release() noexcept { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) noexcept {
        const HANDLE old = std::exchange(handle_, handle);
        if (old != INVALID_HANDLE_VALUE && old != nullptr) {
            ::CloseHandle(old);
        }
    }

  private:
    HANDLE handle_;
};

}  // namespace korvane::ports
