#pragma once

#include <cstdint>

#include "download/clock.h"
#include "ui/form/bar_value.h"
#include "ui/form/progress_pacer.h"

class QLabel;
class QProgressBar;

namespace korvane::ui {

// The bar and the "<position>/<total>" label of a download, pushed into the widgets as the
// pacer lets them: at most once per frame, and at once on flush().
class ProgressDisplay {
  public:
    static constexpr download::Clock::Duration kFrame = form::ProgressPacer::kFrame;

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
    bool takeRepaintPending() { return pacer_.takeRepaintPending(); }

  private:
    QProgressBar& bar_;
    QLabel& label_;
    download::SteadyClock steadyClock_;
    form::ProgressPacer pacer_;
};

// The bar's integer value for a value handed over as a float, inside minimum..maximum.
using form::barValue;

}  // namespace korvane::ui
