#pragma once

#include <algorithm>
#include <cstdint>

#include "download/host.h"

namespace korvane::download {

// The progress display of one download: the bar runs from 1 to n, the text reads
// "<position>/<n>". Positions past the end (a last record whose CR is the final byte puts the
// position at n + 1) are shown as n, so neither ever claims more than the image holds.
class Progress {
  public:
    Progress(Host& host, std::int32_t total) : host_(host), total_(total) {}

    // Inline: the parallel transfer calls these for every byte.
    void setBar(std::int64_t position) {
        host_.setProgressValue(static_cast<float>(clamp(position, 1)));
    }
    void setText(std::int64_t position) { host_.setProgressText(clamp(position, 0), total_); }
    void report(std::int64_t position) {
        setBar(position);
        setText(position);
    }

  private:
    std::int32_t clamp(std::int64_t position, std::int32_t minimum) const {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, minimum, total_));
    }

    Host& host_;
    std::int32_t total_;
};

}  // namespace korvane::download
