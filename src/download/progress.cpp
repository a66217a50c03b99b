#include "download/progress.h"

#include <algorithm>
#include <string>

namespace korvane::download {

std::string formatProgressText(std::int32_t position, std::int32_t total) {
    return std::to_string(position) + "/" + std::to_string(total);
}

std::int32_t Progress::clamp(std::int64_t position, std::int32_t minimum) const {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, minimum, total_));
}

void Progress::setBar(std::int64_t position) {
    host_.setProgressValue(static_cast<float>(clamp(position, 1)));
}

void Progress::setText(std::int64_t position) {
    host_.setProgressText(clamp(position, 0), total_);
}

}  // namespace korvane::download
