#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace korvane::ui::form {

// The window once, as the design stores it: both windows build their controls from this table
// and their tests read it. Places are in twips (1440 to the inch, 15 to a pixel at 96 dpi), so
// a place at any resolution is one rounding away from its design value, never two.
struct Twips {
    int left;
    int top;
    int width;
    int height;
};

struct Pixels {
    int left;
    int top;
    int width;
    int height;
};

enum class Kind { Frame, Option, List, Label, Button, ProgressBar, Line };
enum class Container { Window, Frame1 };

struct Font {
    std::string_view face;
    int points;
    int weight;
    int charset;
};

inline constexpr Font kFixedFont{"Fixedsys", 9, 400, 0};
inline constexpr Font kButtonFont{"MS Gothic", 12, 700, 0};
// The window's own font; no control shows it.
inline constexpr Font kWindowFont{"Tahoma", 12, 700, 129};

inline constexpr std::string_view kTitle = "Firmware Korvane V1.0";
// The client area: its top-left corner on the screen, and its size.
inline constexpr Twips kClient{3255, 4140, 8055, 2700};

struct Control {
    std::string_view name;
    Kind kind;
    std::string_view caption;
    Container container;
    Twips place;   // from the container's top-left corner
    int tabIndex;  // -1: not in the focus order
    const Font* font;
};

// The controls in tab order, which is their order of creation; Line1 has no tab index.
enum class Id : std::size_t {
    Frame1,
    OptCom0,
    OptCom1,
    CboPort,
    Label1,
    Label2,
    CboSpeed,
    CmdStart,
    ProgressBar,
    Label3,
    Line1,
};

inline constexpr std::array<Control, 11> kControls = {{
    {"Frame1",
     Kind::Frame,
     "Communication Interface Choice",
     Container::Window,
     {120, 120, 5775, 1935},
     0,
     &kFixedFont},
    {"optCOM_0",
     Kind::Option,
     "COM Port",
     Container::Frame1,
     {360, 480, 1335, 495},
     1,
     &kFixedFont},
    {"optCOM_1",
     Kind::Option,
     "LPT Port",
     Container::Frame1,
     {360, 1080, 1335, 495},
     2,
     &kFixedFont},
    {"cboPORT", Kind::List, "", Container::Frame1, {3720, 480, 1695, 360}, 3, &kFixedFont},
    {"Label1",
     Kind::Label,
     "Port List :",
     Container::Frame1,
     {2280, 600, 1335, 255},
     4,
     &kFixedFont},
    {"Label2",
     Kind::Label,
     "COM Speed :",
     Container::Frame1,
     {2280, 1200, 1335, 375},
     5,
     &kFixedFont},
    {"cboSPEED", Kind::List, "", Container::Frame1, {3720, 1080, 1695, 360}, 6, &kFixedFont},
    {"cmdSTART",
     Kind::Button,
     "Download Start",
     Container::Window,
     {6000, 240, 1935, 1455},
     7,
     &kButtonFont},
    {"ProgressBar", Kind::ProgressBar, "", Container::Window, {120, 2160, 7815, 375}, 8, nullptr},
    // 15 twips shorter than drawn in the design, so that its bottom meets the bar's top border
    // rather than painting over it.
    {"Label3", Kind::Label, "", Container::Window, {6000, 1800, 1935, 360}, 9, &kFixedFont},
    // A vertical line from (1920, 360) to (1920, 1800), one pixel wide.
    {"Line1", Kind::Line, "", Container::Frame1, {1920, 360, 15, 1440}, -1, nullptr},
}};

constexpr const Control& control(Id id) {
    return kControls[static_cast<std::size_t>(id)];
}

struct MenuEntry {
    std::string_view name;
    std::string_view caption;  // "-" is a separator
    std::string_view shortcut;
};

// The File menu's title, then its entries.
inline constexpr std::array<MenuEntry, 4> kMenu = {{
    {"mnuFile", "File(&F)", ""},
    {"mnuFileOpen", "Open(&F)", "Ctrl+O"},
    {"mnuFileBar0", "-", ""},
    {"mnuFileExit", "Exit(&X)", ""},
}};

// The one place where twips become pixels: rounded half up, as MulDiv rounds.
constexpr int twipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    return static_cast<int>((scaled + 720) / 1440);
}

// A control's place in the window's client area at a resolution. Edges are rounded, not
// sizes, so neighbours that touch in twips touch in pixels.
constexpr Pixels pixelPlace(const Control& c, int dpi) {
    int left = c.place.left;
    int top = c.place.top;
    if (c.container == Container::Frame1) {
        left += control(Id::Frame1).place.left;
        top += control(Id::Frame1).place.top;
    }
    const int x = twipsToPixels(left, dpi);
    const int y = twipsToPixels(top, dpi);
    return {x, y, twipsToPixels(left + c.place.width, dpi) - x,
            twipsToPixels(top + c.place.height, dpi) - y};
}

// The same place from its container's top-left corner, for toolkits that place children so.
constexpr Pixels placeInContainer(const Control& c, int dpi) {
    Pixels place = pixelPlace(c, dpi);
    if (c.container == Container::Frame1) {
        const Pixels frame = pixelPlace(control(Id::Frame1), dpi);
        place.left -= frame.left;
        place.top -= frame.top;
    }
    return place;
}

}  // namespace korvane::ui::form
