#include "ui/progress_display.h"

#include <QLabel>
#include <QProgressBar>
#include <algorithm>
#include <cmath>
#include <limits>

#include "download/host.h"
#include "ui/form/bar_value.h"

namespace korvane::ui {

using form::barInt;

ProgressDisplay::ProgressDisplay(QProgressBar& bar, QLabel& label, download::Clock* clock)
    : bar_(bar), label_(label), clock_(clock != nullptr ? *clock : steadyClock_) {}

void ProgressDisplay::setVisible(bool visible) {
    bar_.setVisible(visible);
}

void ProgressDisplay::setRange(float minimum, float maximum) {
    flush();
    const int low = barInt(minimum);
    bar_.setRange(low, std::max(low, barInt(maximum)));
}

void ProgressDisplay::setValue(float value) {
    // QProgressBar ignores a value outside its range; the bar must still move to the end.
    value_ = barValue(value, bar_.minimum(), bar_.maximum());
    pushIfDue();
}

void ProgressDisplay::setText(std::int32_t position, std::int32_t total) {
    text_ = Text{position, total};
    pushIfDue();
}

void ProgressDisplay::pushIfDue() {
    if (!value_ && !text_) {
        return;
    }
    if (lastPush_ && clock_.now() - *lastPush_ < kFrame) {
        return;
    }
    flush();
}

void ProgressDisplay::flush() {
    // The label first: the bar repaints at once, and the label's repaint joins it.
    repaintPending_ = repaintPending_ || text_ || value_;
    if (text_) {
        label_.setText(
            QString::fromStdString(download::formatProgressText(text_->position, text_->total)));
        text_.reset();
    }
    if (value_) {
        // QProgressBar repaints itself at once, and only for a change of a whole chunk, and that
        // repaint does not always reach the screen before the next wait for the printer. With
        // updates held, re-enabling them asks for one repaint that joins the label's.
        bar_.setUpdatesEnabled(false);
        bar_.setValue(*value_);
        bar_.setUpdatesEnabled(true);
        value_.reset();
    }
    lastPush_ = clock_.now();
}

void ProgressDisplay::paintNow() {
    bar_.repaint();
    label_.repaint();
}

}  // namespace korvane::ui
