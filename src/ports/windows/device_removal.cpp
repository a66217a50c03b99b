#include "ports/windows/device_removal.h"

#include <dbt.h>

#include <atomic>
#include <thread>

namespace korvane::ports {
namespace {

// What cfgmgr32.h declares for Windows 8 and later only: the program is built for Windows 7.
constexpr DWORD kFilterTypeDeviceHandle = 1;
constexpr DWORD kActionRemovePending = 4;
constexpr DWORD kActionRemoveComplete = 5;
constexpr DWORD kDeviceIdLength = 200;

struct NotifyFilter {
    DWORD size;
    DWORD flags;
    DWORD type;
    DWORD reserved;
    union {
        HANDLE target;
        WCHAR instanceId[kDeviceIdLength];
    } u;
};

using NotifyCallback = DWORD(CALLBACK*)(void* notification, void* context, DWORD action, void* data,
                                        DWORD dataSize);
using RegisterFunction = DWORD(WINAPI*)(NotifyFilter*, void*, NotifyCallback, void**);
using UnregisterFunction = DWORD(WINAPI*)(void*);

template <typename Function>
Function entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class Flagged : public DeviceRemoval {
  public:
    bool removed() const override { return gone_.load(); }

  protected:
    std::atomic<bool> gone_{false};
};

class ConfigManagerWatch final : public Flagged {
  public:
    ConfigManagerWatch(HANDLE handle, RegisterFunction registerFn, UnregisterFunction unregister)
        : unregister_(unregister) {
        NotifyFilter filter{};
        filter.size = sizeof filter;
        filter.type = kFilterTypeDeviceHandle;
        filter.u.target = handle;
        if (registerFn(&filter, this, &ConfigManagerWatch::onEvent, &notification_) != 0) {
            notification_ = nullptr;
        }
    }
    ~ConfigManagerWatch() override {
        if (notification_ != nullptr) {
            unregister_(notification_);
        }
    }
    bool listening() const { return notification_ != nullptr; }

  private:
    static DWORD CALLBACK onEvent(void*, void* context, DWORD action, void*, DWORD) {
        if (action == kActionRemovePending || action == kActionRemoveComplete) {
            static_cast<ConfigManagerWatch*>(context)->gone_.store(true);
        }
        return ERROR_SUCCESS;
    }

    UnregisterFunction unregister_;
    void* notification_ = nullptr;
};

// Windows 7: the notice comes as a window message, so a thread of its own keeps a message-only
// window and its message loop for as long as the handle is watched.
class WindowWatch final : public Flagged {
  public:
    explicit WindowWatch(HANDLE handle) {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (ready == nullptr) {
            return;
        }
        thread_ = std::thread([this, handle, ready] { run(handle, ready); });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    ~WindowWatch() override {
        if (const HWND window = window_.load()) {
            PostMessageW(window, WM_CLOSE, 0, 0);
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    static LRESULT CALLBACK onMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<WindowWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == WM_DEVICECHANGE && self != nullptr &&
            (wParam == DBT_DEVICEREMOVECOMPLETE || wParam == DBT_DEVICEREMOVEPENDING) &&
            lParam != 0 &&
            reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam)->dbch_devicetype ==
                DBT_DEVTYP_HANDLE) {
            self->gone_.store(true);
            return TRUE;
        }
        if (message == WM_CLOSE) {
            PostQuitMessage(0);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    void run(HANDLE handle, HANDLE ready) {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &WindowWatch::onMessage;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"KorvaneDeviceRemoval";
        RegisterClassW(&windowClass);  // fails harmlessly when an earlier watch registered it
        const HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0,
                                            HWND_MESSAGE, nullptr, instance, nullptr);
        HDEVNOTIFY notification = nullptr;
        if (window != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            DEV_BROADCAST_HANDLE filter{};
            filter.dbch_size = sizeof filter;
            filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
            filter.dbch_handle = handle;
            notification =
                RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
            window_.store(window);
        }
        SetEvent(ready);
        if (window == nullptr) {
            return;
        }
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        if (notification != nullptr) {
            UnregisterDeviceNotification(notification);
        }
        DestroyWindow(window);
    }

    std::atomic<HWND> window_{nullptr};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<DeviceRemoval> watchDeviceRemoval(HANDLE handle) {
    // Loaded once, for the life of the program; Windows 7 has the DLL without these two.
    static const HMODULE configManager =
        LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    static const auto registerFn =
        configManager ? entryPoint<RegisterFunction>(configManager, "CM_Register_Notification")
                      : nullptr;
    static const auto unregister =
        configManager ? entryPoint<UnregisterFunction>(configManager, "CM_Unregister_Notification")
                      : nullptr;
    if (registerFn != nullptr && unregister != nullptr) {
        auto watch = std::make_unique<ConfigManagerWatch>(handle, registerFn, unregister);
        if (watch->listening()) {
            return watch;
        }
    }
    return std::make_unique<WindowWatch>(handle);
}

}  // namespace korvane::ports
