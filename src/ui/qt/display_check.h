#pragma once

#include <functional>
#include <optional>
#include <string>

namespace korvane::ui {

// Reads an environment variable: nullptr when it is unset.
using EnvironmentLookup = std::function<const char*(const char* name)>;

// The one line to print when there is no display for the window, else nothing. Checked before
// Qt is started, because Qt ends the process with an abort when no platform plugin can start.
// A platform chosen in QT_QPA_PLATFORM (offscreen, vnc, eglfs...) is taken as it is.
std::optional<std::string> missingDisplay(const EnvironmentLookup& lookup);

}  // namespace korvane::ui
