#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "download/clock.h"
#include "ui/form/bar_value.h"

class QLabel;
class QProgressBar;

namespace korvane::ui {

// The bar and the "<position>/<total>" label of a download. The engine reports after every
// byte, far faster than anyone can read; a repaint costs tens of microseconds, so the latest
// values are kept and pushed into the widgets at most once per frame. flush() pushes them at
// once: before a message and at the end, so the values the user is left with are exact.
class ProgressDisplay {
  public:
    static constexpr download::Clock::Duration kFrame = std::chrono::milliseconds(16);

    // Times the pushes on its own clock unless given one, apart from the download's clock.
    ProgressDisplay(QProgressBar& bar, QLabel& label, download::Clock* clock = nullptr);

    void setVisible(bool visible);
    void setRange(float minimum, float maximum);
    void setValue(float value);
    void setText(std::int32_t position, std::int32_t total);

    // Pushes the kept values when a frame has passed since the last push.
    void pushIfDue();
    void flush();
    // Paints the bar and the label now, without letting any event run.
    void paintNow();
    // Whether values were pushed since the last call: their repaint waits in the event queue.
    bool takeRepaintPending() { return std::exchange(repaintPending_, false); }

  private:
    struct Text {
        std::int32_t position;
        std::int32_t total;
    };

    QProgressBar& bar_;
    QLabel& label_;
    download::SteadyClock steadyClock_;
    download::Clock& clock_;
    std::optional<int> value_;
    std::optional<Text> text_;
    std::optional<download::Clock::TimePoint> lastPush_;
    bool repaintPending_ = false;
};

// The bar's integer value for a value handed over as a float, inside minimum..maximum.
using form::barValue;

}  // namespace korvane::ui
