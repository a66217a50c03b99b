#pragma once

#include <array>
#include <string>
#include <string_view>

namespace korvane::download {

// The serial speeds, in the order the window lists them; the window and the command line both
// offer these and no other, and start from the last.
inline constexpr std::array<std::string_view, 4> kSpeeds = {"4800", "9600", "19200", "38400"};
inline constexpr std::string_view kDefaultSpeed = kSpeeds.back();

// The choices a user makes before pressing start, read once when a download starts. Nothing
// lets events run between the press and the last read of them, so a later change in the window
// belongs to the next download.
struct UserChoices {
    std::string firmwarePath;
    bool serial = true;  // "COM Port"; otherwise "LPT Port"
    int portIndex = 0;   // chosen entry of the port list, -1 for none
    std::string speedText = std::string(kDefaultSpeed);
};

}  // namespace korvane::download
