#include "ui/form/bar_value.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::ui::form {

int barInt(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    const double clamped =
        std::clamp(static_cast<double>(value), static_cast<double>(std::numeric_limits<int>::min()),
                   static_cast<double>(std::numeric_limits<int>::max()));
    return static_cast<int>(std::lround(clamped));
}

int barValue(float value, int minimum, int maximum) {
    return std::clamp(barInt(value), minimum, std::max(minimum, maximum));
}

}  // namespace korvane::ui::form
