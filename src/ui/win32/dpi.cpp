#include "ui/win32/dpi.h"

namespace korvane::ui::win32 {
namespace {

using GetDpiForWindowCall = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiCall = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

struct PerMonitorCalls {
    GetDpiForWindowCall dpiForWindow = nullptr;
    AdjustWindowRectExForDpiCall adjustForDpi = nullptr;
};

// GetProcAddress gives every entry point one type; void (*)() converts to any other without
// a warning.
template <typename Call>
Call lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Call>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

PerMonitorCalls& perMonitorCalls() {
    static PerMonitorCalls calls = [] {
        const HMODULE user32 = GetModuleHandleW(L"user32.dll");
        PerMonitorCalls found{
            lookUp<GetDpiForWindowCall>(user32, "GetDpiForWindow"),
            lookUp<AdjustWindowRectExForDpiCall>(user32, "AdjustWindowRectExForDpi")};
        // Both or neither: a window measured one way and framed the other would be off.
        return found.dpiForWindow != nullptr && found.adjustForDpi != nullptr ? found
                                                                              : PerMonitorCalls{};
    }();
    return calls;
}

UINT systemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

}  // namespace

bool perMonitorDpi() {
    return perMonitorCalls().dpiForWindow != nullptr;
}

UINT windowDpi(HWND window) {
    const auto& calls = perMonitorCalls();
    return calls.dpiForWindow != nullptr ? calls.dpiForWindow(window) : systemDpi();
}

void adjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, UINT dpi) {
    const auto& calls = perMonitorCalls();
    if (calls.adjustForDpi != nullptr) {
        calls.adjustForDpi(&rect, style, menu ? TRUE : FALSE, exStyle, dpi);
    } else {
        // The frame at the system's resolution, which is the only one this process sees.
        AdjustWindowRectEx(&rect, style, menu ? TRUE : FALSE, exStyle);
    }
}

void useSystemDpiOnly() {
    perMonitorCalls() = {};
}

}  // namespace korvane::ui::win32
