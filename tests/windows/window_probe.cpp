// Reads a running window from outside, as another program on the desktop can: each child
// control in keyboard order with its class, place, state and text; or the text of a message
// box. The window tests compare what it prints with what the user must see.
//
//   window_probe TITLE         one line per child: class|left|top|width|height|enabled|
//                              visible|checked|text|entries (a list's entries, ';' between,
//                              the chosen one marked '*'; a progress bar's "min..max=pos")
//   window_probe --box TITLE   the static text of the dialog box titled TITLE
//   window_probe --tip         the text of the tooltip that is showing
//   window_probe --close TITLE what the title bar's close button asks of the window
#include <windows.h>

#include <commctrl.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& wide) {
    if (wide.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring textOf(HWND window) {
    std::array<wchar_t, 1024> text{};
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text.data();
}

std::wstring classOf(HWND window) {
    std::array<wchar_t, 64> name{};
    GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    return name.data();
}

std::wstring entriesOf(HWND window, const std::wstring& cls) {
    std::wstring out;
    if (lstrcmpiW(cls.c_str(), WC_COMBOBOXW) == 0) {
        const auto count = SendMessageW(window, CB_GETCOUNT, 0, 0);
        const auto chosen = SendMessageW(window, CB_GETCURSEL, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            std::array<wchar_t, 256> entry{};
            SendMessageW(window, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
            out += (i > 0 ? L";" : L"") + std::wstring(i == chosen ? L"*" : L"") + entry.data();
        }
    } else if (lstrcmpiW(cls.c_str(), PROGRESS_CLASSW) == 0) {
        const auto low = SendMessageW(window, PBM_GETRANGE, TRUE, 0);
        const auto high = SendMessageW(window, PBM_GETRANGE, FALSE, 0);
        const auto position = SendMessageW(window, PBM_GETPOS, 0, 0);
        out =
            std::to_wstring(low) + L".." + std::to_wstring(high) + L"=" + std::to_wstring(position);
    }
    return out;
}

int listChildren(HWND parent) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        GetWindowRect(child, &rect);
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        const std::wstring cls = classOf(child);
        const auto checked = SendMessageW(child, BM_GETCHECK, 0, 0);
        std::printf("%s|%ld|%ld|%ld|%ld|%d|%d|%d|%s|%s\n", utf8(cls).c_str(), rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, IsWindowEnabled(child) ? 1 : 0,
                    IsWindowVisible(child) ? 1 : 0,
                    lstrcmpiW(cls.c_str(), WC_BUTTONW) == 0 && checked == BST_CHECKED ? 1 : 0,
                    utf8(textOf(child)).c_str(), utf8(entriesOf(child, cls)).c_str());
    }
    return 0;
}

int boxText(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (lstrcmpiW(classOf(child).c_str(), WC_STATICW) == 0 && !textOf(child).empty()) {
            std::printf("%s\n", utf8(textOf(child)).c_str());
        }
    }
    return 0;
}

BOOL CALLBACK printShownTip(HWND window, LPARAM) {
    if (IsWindowVisible(window) && lstrcmpiW(classOf(window).c_str(), TOOLTIPS_CLASSW) == 0) {
        std::printf("%s\n", utf8(textOf(window)).c_str());
    }
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 2 && std::wstring(argv[1]) == L"--tip") {
        EnumWindows(printShownTip, 0);
        return 0;
    }
    if (argc == 3 && std::wstring(argv[1]) == L"--close") {
        HWND window = FindWindowW(nullptr, argv[2]);
        return window != nullptr && PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    }
    const bool box = argc == 3 && std::wstring(argv[1]) == L"--box";
    if (argc != 2 && !box) {
        std::fprintf(stderr, "usage: window_probe [--box | --close] TITLE | --tip\n");
        return 2;
    }
    HWND window = FindWindowW(box ? L"#32770" : nullptr, argv[box ? 2 : 1]);
    if (window == nullptr) {
        std::fprintf(stderr, "window_probe: no window titled %s\n",
                     utf8(argv[box ? 2 : 1]).c_str());
        return 1;
    }
    return box ? boxText(window) : listChildren(window);
}
