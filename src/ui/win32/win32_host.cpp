#include "ui/win32/win32_host.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "ports/windows/system_text.h"
#include "ui/form/bar_value.h"

namespace korvane::ui::win32 {

using form::barInt;
using form::barValue;

Win32Host::Win32Host(HWND window, HostControls controls, std::function<void()> pump)
    : window_(window), controls_(controls), pump_(std::move(pump)) {}

void Win32Host::setEnabled(download::Control control, bool enabled) {
    EnableWindow(controls_.lockable.at(static_cast<std::size_t>(control)), enabled ? TRUE : FALSE);
}

void Win32Host::setProgressVisible(bool visible) {
    ShowWindow(controls_.progressBar, visible ? SW_SHOWNA : SW_HIDE);
}

void Win32Host::setProgressRange(float minimum, float maximum) {
    flush();
    minimum_ = barInt(minimum);
    maximum_ = std::max(minimum_, barInt(maximum));
    SendMessageW(controls_.progressBar, PBM_SETRANGE32, static_cast<WPARAM>(minimum_),
                 static_cast<LPARAM>(maximum_));
}

void Win32Host::setProgressValue(float value) {
    pacer_.setValue(barValue(value, minimum_, maximum_));
    pushIfDue();
}

void Win32Host::setProgressText(std::int32_t position, std::int32_t total) {
    pacer_.setText(position, total);
    pushIfDue();
}

void Win32Host::pushIfDue() {
    if (pacer_.due()) {
        flush();
    }
}

void Win32Host::flush() {
    const auto push = pacer_.take();
    if (push.text) {
        SetWindowTextW(controls_.label3, ports::wideFromUtf8(*push.text).c_str());
    }
    if (push.value) {
        SendMessageW(controls_.progressBar, PBM_SETPOS, static_cast<WPARAM>(*push.value), 0);
    }
}

void Win32Host::paintNow() {
    // Sends the paint messages straight to the two controls; nothing else runs.
    UpdateWindow(controls_.progressBar);
    UpdateWindow(controls_.label3);
}

void Win32Host::waitingForPrinter(PrinterWait wait) {
    if (wait == PrinterWait::Blocking) {
        flush();
    } else {
        pushIfDue();
    }
    if (pacer_.takeRepaintPending()) {
        paintNow();
    }
}

void Win32Host::showMessage(download::Outcome, const std::string& text) {
    // The user reads the message against the exact final values.
    flush();
    MessageBoxW(window_, ports::wideFromUtf8(text).c_str(), L"Korvane", MB_OK);
}

void Win32Host::letPendingEventsRun() {
    pushIfDue();
    const auto now = clock_.now();
    if (pacer_.takeRepaintPending() || !lastEvents_ || now - *lastEvents_ >= kEventSlice) {
        pump_();
        lastEvents_ = clock_.now();
    }
}

}  // namespace korvane::ui::win32
