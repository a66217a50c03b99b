#include "ui/qt/window_host.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPushButton>
#include <QRadioButton>

namespace korvane::ui {

WindowHost::WindowHost(HostControls controls, ProgressDisplay& progress, MessagePresenter& messages,
                       QWidget& window, std::function<bool()> endRequested,
                       download::Clock* paceClock)
    : controls_(controls),
      progress_(progress),
      messages_(messages),
      window_(window),
      endRequested_(std::move(endRequested)),
      clock_(paceClock != nullptr ? *paceClock : steadyClock_) {}

WindowHost::WindowHost(HostControls controls, ProgressDisplay& progress, MessagePresenter& messages,
                       QWidget& window, const bool& exitRequested, download::Clock* paceClock)
    : WindowHost(
          controls, progress, messages, window, [&exitRequested] { return exitRequested; },
          paceClock) {}

void WindowHost::setEnabled(download::Control control, bool enabled) {
    switch (control) {
        case download::Control::SerialOption:
            controls_.serialOption.setEnabled(enabled);
            break;
        case download::Control::ParallelOption:
            controls_.parallelOption.setEnabled(enabled);
            break;
        case download::Control::PortList:
            controls_.portList.setEnabled(enabled);
            break;
        case download::Control::SpeedList:
            controls_.speedList.setEnabled(enabled);
            break;
        case download::Control::StartButton:
            controls_.startButton.setEnabled(enabled);
            break;
    }
}

void WindowHost::setProgressVisible(bool visible) {
    progress_.setVisible(visible);
}

void WindowHost::setProgressRange(float minimum, float maximum) {
    progress_.setRange(minimum, maximum);
}

void WindowHost::setProgressValue(float value) {
    progress_.setValue(value);
}

void WindowHost::setProgressText(std::int32_t position, std::int32_t total) {
    progress_.setText(position, total);
}

void WindowHost::waitingForPrinter(PrinterWait wait) {
    if (wait == PrinterWait::Blocking) {
        progress_.flush();
    } else {
        progress_.pushIfDue();
    }
    if (progress_.takeRepaintPending()) {
        progress_.paintNow();
    }
}

void WindowHost::showMessage(download::Outcome, const std::string& text) {
    // The user reads the message against the exact final values.
    progress_.flush();
    messages_.show(&window_, QString::fromStdString(text));
}

void WindowHost::letPendingEventsRun() {
    progress_.pushIfDue();
    const download::Clock::TimePoint now = clock_.now();
    // New values are painted now, not after a wait for the printer that may follow.
    if (progress_.takeRepaintPending() || !lastEvents_ || now - *lastEvents_ >= kEventSlice) {
        QCoreApplication::processEvents();
        lastEvents_ = clock_.now();
    }
    // Thrown here, outside Qt's event dispatch, never through it.
    if (endRequested_()) {
        throw download::DownloadAbandoned();
    }
}

}  // namespace korvane::ui
