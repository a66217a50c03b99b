#pragma once

#include <windows.h>

namespace korvane::ui::win32 {

// The window's resolution. Windows 10 1607 and later give it per monitor (the calls are looked
// up at run time, so the program still starts on Windows 7); older systems scale the process
// by the system's resolution, fixed for the session. The manifest asks for the same split.

// Whether the window's resolution comes from its monitor (else from the system).
bool perMonitorDpi();

// Dots per inch that the window is laid out for.
UINT windowDpi(HWND window);

// The window's outer rectangle for a client rectangle at the given resolution.
void adjustWindowRectForDpi(RECT& rect, DWORD style, bool menu, DWORD exStyle, UINT dpi);

// Lays out by the system's resolution even where per-monitor calls exist: how Windows 7 and
// 8.1 see the window, for the tests. Call before the window is made.
void useSystemDpiOnly();

}  // namespace korvane::ui::win32
