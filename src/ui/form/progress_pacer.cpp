#include "ui/form/progress_pacer.h"

#include "download/host.h"

namespace korvane::ui::form {

bool ProgressPacer::due() const {
    return (value_ || text_) && (!lastPush_ || clock_.now() - *lastPush_ >= kFrame);
}

ProgressPacer::Push ProgressPacer::take() {
    Push push;
    repaintPending_ = repaintPending_ || value_ || text_;
    if (text_) {
        push.text = download::formatProgressText(text_->first, text_->second);
        text_.reset();
    }
    push.value = std::exchange(value_, std::nullopt);
    lastPush_ = clock_.now();
    return push;
}

}  // namespace korvane::ui::form
