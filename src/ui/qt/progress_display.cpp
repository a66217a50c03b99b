#include "ui/qt/progress_display.h"

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
    : bar_(bar), label_(label), pacer_(clock != nullptr ? *clock : steadyClock_) {}

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
    pacer_.setValue(barValue(value, bar_.minimum(), bar_.maximum()));
    pushIfDue();
}

void ProgressDisplay::setText(std::int32_t position, std::int32_t total) {
    pacer_.setText(position, total);
    pushIfDue();
}

void ProgressDisplay::pushIfDue() {
    if (pacer_.due()) {
        flush();
    }
}

void ProgressDisplay::flush() {
    const auto push = pacer_.take();
    // The label first: the bar repaints at once, and the label's repaint joins it.
    if (push.text) {
        label_.setText(QString::fromStdString(*push.text));
    }
    if (push.value) {
        // QProgressBar repaints itself at once, and only for a change of a whole chunk, and that
        // repaint does not always reach the screen before the next wait for the printer. With
        // updates held, re-enabling them asks for one repaint that joins the label's.
        bar_.setUpdatesEnabled(false);
        bar_.setValue(*push.value);
        bar_.setUpdatesEnabled(true);
    }
}

void ProgressDisplay::paintNow() {
    bar_.repaint();
    label_.repaint();
}

}  // namespace korvane::ui
