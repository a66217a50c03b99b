#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "download/outcome.h"

namespace korvane::download {

// The controls a download locks and unlocks, in the order it does so.
enum class Control { SerialOption, ParallelOption, PortList, SpeedList, StartButton };
inline constexpr std::array kSelectionControls = {Control::SerialOption, Control::ParallelOption,
                                                  Control::PortList, Control::SpeedList,
                                                  Control::StartButton};

// Thrown out of Host::letPendingEventsRun when the user ended the program (File > Exit, or the
// window closed) while a download runs: the download unwinds, releasing its port on the way.
class DownloadAbandoned : public std::runtime_error {
  public:
    DownloadAbandoned() : std::runtime_error("download abandoned: the program is ending") {}
};

// What the download needs from the side that runs it (the window, or the command line) to show
// itself: the controls it locks, progress, messages and pauses for events. The user's choices
// come separately, as a UserChoices value handed to DownloadSequence::run.
class Host {
  public:
    virtual ~Host() = default;

    virtual void setEnabled(Control control, bool enabled) = 0;

    virtual void setProgressVisible(bool visible) = 0;
    virtual void setProgressRange(float minimum, float maximum) = 0;
    virtual void setProgressValue(float value) = 0;
    // Shows "<position>/<total>"; formatProgressText gives the exact text.
    virtual void setProgressText(std::int32_t position, std::int32_t total) = 0;

    // The transfer waits for the printer now. A display that holds values back shows them: at
    // once before a Blocking wait, during which nothing is called, else once they are a frame
    // old, since a Polling wait calls again on every poll.
    enum class PrinterWait { Blocking, Polling };
    virtual void waitingForPrinter(PrinterWait) {}

    // A modal message that ends a download the way outcome says; returns when the user has
    // closed it.
    virtual void showMessage(Outcome outcome, const std::string& text) = 0;
    // Handles every event already queued, then returns; may throw DownloadAbandoned.
    virtual void letPendingEventsRun() = 0;
};

std::string formatProgressText(std::int32_t position, std::int32_t total);

}  // namespace korvane::download
