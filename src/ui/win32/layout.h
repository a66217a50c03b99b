#pragma once

#include <array>
#include <string_view>

namespace korvane::ui::win32 {

// The window's places in twips (1440 to the inch) as the design stores them, so that a place
// at any resolution is one rounding away from its design value, never two.
struct TwipRect {
    int left;
    int top;
    int width;
    int height;
};

enum class Container { Window, Frame };

struct ControlPlace {
    std::string_view name;
    Container container;
    TwipRect rect;
};

inline constexpr TwipRect kClientTwips{3255, 4140, 8055, 2700};  // screen position and size
inline constexpr TwipRect kFrameTwips{120, 120, 5775, 1935};

// In tab order, which on Win32 is the order of creation.
inline constexpr std::array kPlaces = {
    ControlPlace{"Frame1", Container::Window, kFrameTwips},
    ControlPlace{"optCOM_0", Container::Frame, {360, 480, 1335, 495}},
    ControlPlace{"optCOM_1", Container::Frame, {360, 1080, 1335, 495}},
    ControlPlace{"cboPORT", Container::Frame, {3720, 480, 1695, 360}},
    ControlPlace{"Label1", Container::Frame, {2280, 600, 1335, 255}},
    ControlPlace{"Label2", Container::Frame, {2280, 1200, 1335, 375}},
    ControlPlace{"cboSPEED", Container::Frame, {3720, 1080, 1695, 360}},
    ControlPlace{"cmdSTART", Container::Window, {6000, 240, 1935, 1455}},
    ControlPlace{"ProgressBar", Container::Window, {120, 2160, 7815, 375}},
    // 15 twips shorter than the design, so that its bottom meets the bar's top border rather
    // than painting over it.
    ControlPlace{"Label3", Container::Window, {6000, 1800, 1935, 360}},
    // A vertical line from (1920, 360) to (1920, 1800) in the frame, one pixel wide.
    ControlPlace{"Line1", Container::Frame, {1920, 360, 15, 1440}},
};

struct PixelRect {
    int left;
    int top;
    int width;
    int height;
};

constexpr int twipsToPixels(int twips, int dpi) {
    // Rounded half up, as MulDiv rounds.
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + 720) / 1440);
}

// A control's place in the window's client area at a resolution.
constexpr PixelRect pixelPlace(const ControlPlace& place, int dpi) {
    int left = place.rect.left;
    int top = place.rect.top;
    if (place.container == Container::Frame) {
        left += kFrameTwips.left;
        top += kFrameTwips.top;
    }
    const int x = twipsToPixels(left, dpi);
    const int y = twipsToPixels(top, dpi);
    // Edges are rounded, not sizes, so neighbours that touch in twips touch in pixels.
    return {x, y, twipsToPixels(left + place.rect.width, dpi) - x,
            twipsToPixels(top + place.rect.height, dpi) - y};
}

}  // namespace korvane::ui::win32
