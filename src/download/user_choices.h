#pragma once

#include <string>

namespace korvane::download {

// The choices a user makes before pressing start, read once when a download starts. Nothing
// lets events run between the press and the last read of them, so a later change in the window
// belongs to the next download.
struct UserChoices {
    std::string firmwarePath;
    bool serial = true;  // "COM Port"; otherwise "LPT Port"
    int portIndex = 0;   // chosen entry of the port list, -1 for none
    std::string speedText = "38400";
};

}  // namespace korvane::download
