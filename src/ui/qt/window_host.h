#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "download/host.h"
#include "ui/qt/message_presenter.h"
#include "ui/qt/progress_display.h"

class QComboBox;
class QPushButton;
class QRadioButton;
class QWidget;

namespace korvane::ui {

// The window's controls that a download locks and unlocks.
struct HostControls {
    QRadioButton& serialOption;
    QRadioButton& parallelOption;
    QComboBox& portList;
    QComboBox& speedList;
    QPushButton& startButton;
};

// The engine's host on the window: the download runs on the window's thread and lets queued
// window events run when the engine says so. The user ending the program in one of those
// moments unwinds the download with DownloadAbandoned.
//
// Letting events run costs a poll of the window system, far more than a parallel byte; the
// queue is looked at once per kEventSlice, which no one can tell from every time, and at once
// after the progress display pushed new values, so that they are painted. A request to end
// the program is seen at every call. While the transfer waits for the printer no events run,
// so the progress display is painted there directly.
class WindowHost final : public download::Host {
  public:
    static constexpr download::Clock::Duration kEventSlice = std::chrono::milliseconds(1);

    // endRequested says whether the user has asked the program to end; it is asked at every
    // pause. The event slices are timed on paceClock, or on a steady clock of its own when null.
    WindowHost(HostControls controls, ProgressDisplay& progress, MessagePresenter& messages,
               QWidget& window, std::function<bool()> endRequested,
               download::Clock* paceClock = nullptr);
    // The same, with the request as a flag that outlives the host.
    WindowHost(HostControls controls, ProgressDisplay& progress, MessagePresenter& messages,
               QWidget& window, const bool& exitRequested, download::Clock* paceClock = nullptr);

    void setEnabled(download::Control control, bool enabled) override;

    void setProgressVisible(bool visible) override;
    void setProgressRange(float minimum, float maximum) override;
    void setProgressValue(float value) override;
    void setProgressText(std::int32_t position, std::int32_t total) override;

    void waitingForPrinter(PrinterWait wait) override;
    // Once the user has asked the program to end, no message is shown any more.
    void showMessage(download::Outcome outcome, const std::string& text) override;
    void letPendingEventsRun() override;

  private:
    HostControls controls_;
    ProgressDisplay& progress_;
    MessagePresenter& messages_;
    QWidget& window_;
    std::function<bool()> endRequested_;
    download::SteadyClock steadyClock_;
    download::Clock& clock_;
    std::optional<download::Clock::TimePoint> lastEvents_;
};

}  // namespace korvane::ui
