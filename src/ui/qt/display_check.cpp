#include "ui/qt/display_check.h"

namespace korvane::ui {

std::optional<std::string> missingDisplay(const EnvironmentLookup& lookup) {
    for (const char* name : {"QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "DISPLAY"}) {
        const char* value = lookup(name);
        if (value != nullptr && *value != '\0') {
            return std::nullopt;
        }
    }
    return "korvane: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not "
           "set); from a terminal use korvane-cli instead, e.g. korvane-cli ports, korvane-cli "
           "send --serial COM1 FILE.";
}

}  // namespace korvane::ui
