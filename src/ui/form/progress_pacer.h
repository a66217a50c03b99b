#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "download/clock.h"

namespace korvane::ui::form {

// The bar's value and Label3's text of a download, kept until they are due on the screen. The
// engine reports after every byte, far faster than anyone can read, and a repaint costs tens of
// microseconds: a window pushes the latest values at most once per kFrame, and at once before a
// message and at the end, so the values the user is left with are exact.
class ProgressPacer {
  public:
    static constexpr download::Clock::Duration kFrame = std::chrono::milliseconds(16);

    explicit ProgressPacer(download::Clock& clock) : clock_(clock) {}

    void setValue(int value) { value_ = value; }
    void setText(std::int32_t position, std::int32_t total) { text_ = {position, total}; }

    // Something waits, and a frame has passed since the last push.
    bool due() const;

    // What waits, taken for the window to push now: the bar's value and Label3's text.
    struct Push {
        std::optional<int> value;
        std::optional<std::string> text;
    };
    Push take();

    // Whether values were pushed since the last call: their repaint is still to come.
    bool takeRepaintPending() { return std::exchange(repaintPending_, false); }

  private:
    download::Clock& clock_;
    std::optional<int> value_;
    std::optional<std::pair<std::int32_t, std::int32_t>> text_;
    std::optional<download::Clock::TimePoint> lastPush_;
    bool repaintPending_ = false;
};

}  // namespace korvane::ui::form
