#pragma once

#include <windows.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download/clock.h"
#include "download/host.h"
#include "ui/form/progress_pacer.h"

namespace korvane::ui::win32 {

// The controls a download locks, in download::Control's order, and the progress display.
struct HostControls {
    std::array<HWND, 5> lockable;
    HWND progressBar;
    HWND label3;
};

// The engine's host on the Win32 window: the locks, the progress display, the message box and
// the pause for queued messages. The download runs on the window's thread.
//
// Progress comes after every byte, far faster than anyone can read, and under Wine every look
// at the message queue is a round trip to the server: the latest values are kept and pushed to
// the controls at most once per kFrame, the queue is looked at once per kEventSlice and at once
// after a push, so that it is painted. Before a message and while the transfer waits for the
// printer the exact values are shown.
class Win32Host final : public download::Host {
  public:
    static constexpr download::Clock::Duration kFrame = form::ProgressPacer::kFrame;
    static constexpr download::Clock::Duration kEventSlice = std::chrono::milliseconds(1);

    // pump handles the queued messages.
    Win32Host(HWND window, HostControls controls, std::function<void()> pump);

    void setEnabled(download::Control control, bool enabled) override;
    void setProgressVisible(bool visible) override;
    void setProgressRange(float minimum, float maximum) override;
    void setProgressValue(float value) override;
    void setProgressText(std::int32_t position, std::int32_t total) override;
    void waitingForPrinter(PrinterWait wait) override;
    void showMessage(download::Outcome outcome, const std::string& text) override;
    void letPendingEventsRun() override;

    // Pushes the kept values to the controls now.
    void flush();

  private:
    void pushIfDue();
    void paintNow();

    HWND window_;
    HostControls controls_;
    std::function<void()> pump_;
    download::SteadyClock clock_;
    form::ProgressPacer pacer_{clock_};
    int minimum_ = 0;
    int maximum_ = 100;
    std::optional<download::Clock::TimePoint> lastEvents_;
};

}  // namespace korvane::ui::win32
