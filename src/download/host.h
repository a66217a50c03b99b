#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

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

// What the download needs from the side that runs it: the window, or the command line.
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

    // A modal message; returns when the user has closed it.
    virtual void showMessage(const std::string& text) = 0;
    // Handles every event already queued, then returns; may throw DownloadAbandoned.
    virtual void letPendingEventsRun() = 0;

    // The user's choices, read when a download starts.
    virtual std::string firmwarePath() const = 0;
    virtual bool serialSelected() const = 0;  // "COM Port"; otherwise "LPT Port"
    virtual int portIndex() const = 0;        // chosen entry of the port list, -1 for none
    virtual std::string speedText() const = 0;
};

std::string formatProgressText(std::int32_t position, std::int32_t total);

}  // namespace korvane::download
