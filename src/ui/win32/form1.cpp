#include "ui/win32/form1.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <array>
#include <exception>
#include <sstream>
#include <string_view>
#include <vector>

#include "ports/windows/system_text.h"
#include "ui/form/form_layout.h"
#include "ui/win32/dpi.h"
#include "ui/win32/win32_host.h"

namespace korvane::ui::win32 {

namespace {

constexpr wchar_t kClassName[] = L"KorvaneForm1";
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kWindowExStyle = 0;
// The drop-down lists' closed height; the opened list drops this far below it.
constexpr int kDropDownTwips = 1800;

// Control and menu identifiers; none is IDOK or IDCANCEL, which the dialog keys send.
// A control's identifier is this plus its place in the window's table, its tab index.
constexpr int kIdFirstControl = 100;
enum MenuId : int {
    kIdMenuOpen = 200,
    kIdMenuExit,
};

int CALLBACK faceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool hasFace(const wchar_t* face) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(query.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &query, faceFound, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found;
}

// The named face when the system has it, else a fixed-pitch face of the same size and weight.
HFONT makeFont(const form::Font& design, UINT dpi) {
    const std::wstring face = ports::wideFromUtf8(std::string(design.face));
    LOGFONTW font{};
    font.lfHeight = -MulDiv(design.points, static_cast<int>(dpi), 72);
    font.lfWeight = design.weight;
    font.lfCharSet = static_cast<BYTE>(design.charset);
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    if (hasFace(face.c_str())) {
        lstrcpynW(font.lfFaceName, face.c_str(), LF_FACESIZE);
        font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
    } else {
        font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    }
    return CreateFontIndirectW(&font);
}

std::wstring faceOf(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    std::array<wchar_t, LF_FACESIZE> face{};
    GetTextFaceW(screen, static_cast<int>(face.size()), face.data());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    std::wostringstream out;
    out << face.data() << L' ' << metrics.tmHeight << L' ' << metrics.tmWeight;
    return out.str();
}

RECT clientRectOf(HWND parent, HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

Form1::Form1(HINSTANCE instance, FormServices services)
    : instance_(instance), services_(std::move(services)), startColour_(form::kLightRed) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES |
                                                        ICC_BAR_CLASSES | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &Form1::windowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);

    // Built hidden; Form_Load shows it.
    hwnd_ = CreateWindowExW(kWindowExStyle, kClassName,
                            ports::wideFromUtf8(std::string(form::kTitle)).c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                            nullptr, instance_, this);
    createMenu();
    createControls();
    createToolTips();
    applyResolution(windowDpi(hwnd_), nullptr);
    DragAcceptFiles(hwnd_, TRUE);

    const HostControls hostControls{
        {at(form::Id::OptCom0), at(form::Id::OptCom1), at(form::Id::CboPort),
         at(form::Id::CboSpeed), at(form::Id::CmdStart)},
        at(form::Id::ProgressBar),
        at(form::Id::Label3)};
    host_ = std::make_unique<Win32Host>(hwnd_, hostControls, [this] { pumpPending(); });
    // A firmware file that another program holds is told as such, not as a refused permission.
    behaviour_ =
        std::make_unique<form::FormBehaviour>(*this, services_.serialPort, services_.parallelPorts,
                                              services_.clock, ports::fileInUseText);
}

Form1::~Form1() {
    if (hwnd_ != nullptr) {
        DestroyWindow(hwnd_);
    }
    deleteFonts();
    if (accelerators_ != nullptr) {
        DestroyAcceleratorTable(accelerators_);
    }
}

namespace {

// The window class and styles of a control of the table.
std::pair<const wchar_t*, DWORD> classAndStyle(form::Id id, form::Kind kind) {
    switch (kind) {
        case form::Kind::Frame:
            return {WC_BUTTONW, BS_GROUPBOX};
        case form::Kind::Option:
            return {WC_BUTTONW, BS_AUTORADIOBUTTON | BS_NOTIFY};
        case form::Kind::List:
            return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL};
        case form::Kind::Label:
            return {WC_STATICW, SS_NOPREFIX | (id == form::Id::Label3 ? SS_RIGHT : SS_LEFT)};
        case form::Kind::Button:
            return {WC_BUTTONW, BS_OWNERDRAW};
        case form::Kind::ProgressBar:
            return {PROGRESS_CLASSW, 0};
        case form::Kind::Line:
            return {WC_STATICW, SS_BLACKRECT};
    }
    return {WC_STATICW, 0};
}

}  // namespace

void Form1::createControls() {
    // Created in tab order: the keyboard walks the children in the order they were made. The
    // options form one group, entered at the first; lists and the button are tab stops.
    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        const form::Control& entry = form::kControls[i];
        const auto id = static_cast<form::Id>(i);
        auto [cls, style] = classAndStyle(id, entry.kind);
        const bool secondOption = entry.kind == form::Kind::Option && i > 0 &&
                                  form::kControls[i - 1].kind == form::Kind::Option;
        if (!secondOption) {
            style |= WS_GROUP;
        }
        if ((entry.kind == form::Kind::Option && !secondOption) || entry.kind == form::Kind::List ||
            entry.kind == form::Kind::Button) {
            style |= WS_TABSTOP;
        }
        controls_[i] = CreateWindowExW(
            0, cls, ports::wideFromUtf8(std::string(entry.caption)).c_str(),
            WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdFirstControl + static_cast<int>(i))),
            instance_, nullptr);
    }
    SendMessageW(at(form::Id::ProgressBar), PBM_SETRANGE32, 0, 100);
    SendMessageW(at(form::Id::ProgressBar), PBM_SETPOS, 0, 0);
}

void Form1::createMenu() {
    HMENU file = CreatePopupMenu();
    for (std::size_t i = 1; i < form::kMenu.size(); ++i) {
        const form::MenuEntry& entry = form::kMenu[i];
        if (entry.caption == "-") {
            AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::string text(entry.caption);
        if (!entry.shortcut.empty()) {
            text += "\t" + std::string(entry.shortcut);
        }
        const UINT id = entry.name == "mnuFileOpen" ? kIdMenuOpen : kIdMenuExit;
        AppendMenuW(file, MF_STRING, id, ports::wideFromUtf8(text).c_str());
    }
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file),
                ports::wideFromUtf8(std::string(form::kMenu[0].caption)).c_str());
    SetMenu(hwnd_, bar);

    ACCEL open{FCONTROL | FVIRTKEY, 'O', kIdMenuOpen};
    accelerators_ = CreateAcceleratorTableW(&open, 1);
}

void Form1::createToolTips() {
    toolTip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_,
                               nullptr, instance_, nullptr);
    for (HWND control : {at(form::Id::CboPort), at(form::Id::CmdStart)}) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = hwnd_;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(toolTip_, TTM_SETMAXTIPWIDTH, 0, 600);
}

void Form1::deleteFonts() {
    for (HFONT font : {fixedFont_, buttonFont_, windowFont_}) {
        if (font != nullptr) {
            DeleteObject(font);
        }
    }
}

void Form1::applyResolution(UINT dpi, const RECT* suggested) {
    dpi_ = dpi;
    const int scale = static_cast<int>(dpi);
    deleteFonts();
    fixedFont_ = makeFont(form::kFixedFont, dpi);
    buttonFont_ = makeFont(form::kButtonFont, dpi);
    windowFont_ = makeFont(form::kWindowFont, dpi);

    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        const form::Control& entry = form::kControls[i];
        const form::Pixels place = form::pixelPlace(entry, scale);
        SendMessageW(
            controls_[i], WM_SETFONT,
            reinterpret_cast<WPARAM>(entry.font == &form::kButtonFont ? buttonFont_ : fixedFont_),
            FALSE);
        const int height = entry.kind == form::Kind::List
                               ? place.height + form::twipsToPixels(kDropDownTwips, scale)
                               : place.height;
        SetWindowPos(controls_[i], nullptr, place.left, place.top, place.width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    placeWindow(dpi, suggested);
    // A drop-down list's closed height follows its font and its selection field's height.
    // Systems differ in what the field's height counts, so it is corrected by what is measured.
    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        if (form::kControls[i].kind != form::Kind::List) {
            continue;
        }
        HWND list = controls_[i];
        const int wanted = form::pixelPlace(form::kControls[i], scale).height;
        auto field = SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        for (int attempt = 0; attempt < 3; ++attempt) {
            const RECT now = clientRectOf(hwnd_, list);
            if (now.bottom - now.top == wanted) {
                break;
            }
            field += wanted - (now.bottom - now.top);
            SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
        }
    }
    InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form1::placeWindow(UINT dpi, const RECT* suggested) {
    const int scale = static_cast<int>(dpi);
    RECT frame{0, 0, form::twipsToPixels(form::kClient.width, scale),
               form::twipsToPixels(form::kClient.height, scale)};
    adjustWindowRectForDpi(frame, kWindowStyle, true, kWindowExStyle, dpi);
    int left = form::twipsToPixels(form::kClient.left, scale) + frame.left;
    int top = form::twipsToPixels(form::kClient.top, scale) + frame.top;
    if (suggested != nullptr) {
        left = suggested->left;
        top = suggested->top;
    }
    SetWindowPos(hwnd_, nullptr, left, top, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps takes from the client area: the height is mended by what is missing.
    RECT client{};
    GetClientRect(hwnd_, &client);
    const int missing = form::twipsToPixels(form::kClient.height, scale) - client.bottom;
    if (missing != 0) {
        SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left,
                     frame.bottom - frame.top + missing,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    }
}

void Form1::load() {
    behaviour_->Form_Load();
    giveInitialFocus();
}

void Form1::giveInitialFocus() {
    if (initialFocusGiven_) {
        return;
    }
    initialFocusGiven_ = true;
    // The first control in the tab order that can take the focus; the frame cannot.
    HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    if (first != nullptr) {
        SetFocus(first);
    }
    // An option taking the focus is selected, and says so as a click would.
    if (first == at(form::Id::OptCom0) || first == at(form::Id::OptCom1)) {
        optionSelected(first == at(form::Id::OptCom0) ? 0 : 1);
    }
}

void Form1::optionSelected(int index) {
    HWND option = index == 0 ? at(form::Id::OptCom0) : at(form::Id::OptCom1);
    if (!IsWindowEnabled(option) || index == selectedOption_) {
        return;
    }
    SendMessageW(at(form::Id::OptCom0), BM_SETCHECK, index == 0 ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(at(form::Id::OptCom1), BM_SETCHECK, index == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
    selectedOption_ = index;
    behaviour_->optCOM_Click(index);
}

void Form1::startClicked() {
    // Nothing may escape into a window procedure.
    try {
        behaviour_->cmdSTART_Click();
    } catch (...) {
        endProgram();
    }
    host_->flush();
}

HWND Form1::listOf(form::List list) const {
    return list == form::List::Port ? at(form::Id::CboPort) : at(form::Id::CboSpeed);
}

void Form1::clearList(form::List list) {
    SendMessageW(listOf(list), CB_RESETCONTENT, 0, 0);
}

void Form1::addListEntry(form::List list, const std::string& text) {
    SendMessageW(listOf(list), CB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(ports::wideFromUtf8(text).c_str()));
}

void Form1::chooseListEntry(form::List list, int index) {
    SendMessageW(listOf(list), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Form1::chosenListEntry(form::List list) const {
    const auto index = SendMessageW(listOf(list), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

std::string Form1::chosenListText(form::List list) const {
    const int index = chosenListEntry(list);
    if (index < 0) {
        return {};
    }
    const auto length = SendMessageW(listOf(list), CB_GETLBTEXTLEN, index, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(listOf(list), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    return ports::utf8FromWide(text.c_str());
}

bool Form1::serialSelected() const {
    return SendMessageW(at(form::Id::OptCom0), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form1::setStartColour(form::Colour colour) {
    startColour_ = static_cast<COLORREF>(colour);
    InvalidateRect(at(form::Id::CmdStart), nullptr, TRUE);
}

void Form1::setStartToolTip(const std::string& text) {
    startToolTip_ = ports::wideFromUtf8(text);
}

void Form1::showWindow() {
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

namespace {

BOOL CALLBACK closeOwnedBox(HWND window, LPARAM owner) {
    std::array<wchar_t, 16> name{};
    GetClassNameW(window, name.data(), static_cast<int>(name.size()));
    if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner) &&
        std::wstring_view(name.data()) == L"#32770") {
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

}  // namespace

void Form1::hideWindow() {
    // A message box of ours that is up would keep the end waiting for a click.
    EnumThreadWindows(GetCurrentThreadId(), closeOwnedBox, reinterpret_cast<LPARAM>(hwnd_));
    ShowWindow(hwnd_, SW_HIDE);
}

void Form1::endProgram() {
    if (!ended_) {
        ended_ = true;
        ShowWindow(hwnd_, SW_HIDE);
        PostQuitMessage(0);
    }
}

std::string Form1::chooseFile(const std::string& title, const std::string& filter,
                              const std::string& fileName) {
    // "description|pattern" becomes the dialog's "description\0pattern\0\0".
    std::wstring filters = ports::wideFromUtf8(filter);
    for (wchar_t& c : filters) {
        if (c == L'|') {
            c = L'\0';
        }
    }
    filters.push_back(L'\0');
    const std::wstring titleText = ports::wideFromUtf8(title);
    std::wstring buffer(32768, L'\0');
    ports::wideFromUtf8(fileName).copy(buffer.data(), buffer.size() - 1);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filters.c_str();
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = titleText.c_str();
    // The chosen file's folder must not become the program's current folder.
    dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (GetOpenFileNameW(&dialog) == FALSE) {
        return {};
    }
    return ports::utf8FromWide(buffer.c_str());
}

download::Host& Form1::host() {
    return *host_;
}

void Form1::dropped(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        DragQueryFileW(drop, i, path.data(), length + 1);
        paths.push_back(ports::utf8FromWide(path.c_str()));
    }
    DragFinish(drop);
    behaviour_->fileDropped(paths);
}

std::wstring Form1::portToolTip() const {
    const auto index = SendMessageW(at(form::Id::CboPort), CB_GETCURSEL, 0, 0);
    if (!services_.describePort || selectedOption_ < 0 || index == CB_ERR) {
        return L"";
    }
    return services_.describePort(selectedOption_, static_cast<int>(index));
}

void Form1::drawStartButton(const DRAWITEMSTRUCT& item) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT face = item.rcItem;
    HBRUSH brush = CreateSolidBrush(startColour_);
    FillRect(item.hDC, &face, brush);
    DeleteObject(brush);
    DrawEdge(item.hDC, &face, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT | BF_ADJUST);

    std::array<wchar_t, 64> text{};
    GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size()));
    RECT textRect = face;
    if (pressed) {
        OffsetRect(&textRect, 1, 1);
    }
    SetBkMode(item.hDC, TRANSPARENT);
    HGDIOBJ oldFont = SelectObject(item.hDC, buttonFont_);
    // One line when it fits, else broken between words, centred either way.
    UINT format = DT_CENTER | DT_NOPREFIX | DT_WORDBREAK;
    RECT measured = textRect;
    DrawTextW(item.hDC, text.data(), -1, &measured, format | DT_CALCRECT);
    const int spare = (textRect.bottom - textRect.top) - (measured.bottom - measured.top);
    textRect.top += spare > 0 ? spare / 2 : 0;
    if (disabled) {
        // Etched, as the system draws a disabled caption.
        RECT light = textRect;
        OffsetRect(&light, 1, 1);
        SetTextColor(item.hDC, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(item.hDC, text.data(), -1, &light, format);
        SetTextColor(item.hDC, GetSysColor(COLOR_GRAYTEXT));
    } else {
        SetTextColor(item.hDC, GetSysColor(COLOR_BTNTEXT));
    }
    DrawTextW(item.hDC, text.data(), -1, &textRect, format);
    SelectObject(item.hDC, oldFont);
    if ((item.itemState & ODS_FOCUS) != 0) {
        RECT focus = face;
        InflateRect(&focus, -2, -2);
        DrawFocusRect(item.hDC, &focus);
    }
}

void Form1::dispatch(MSG& message) {
    if (TranslateAcceleratorW(hwnd_, accelerators_, &message) == 0 &&
        IsDialogMessageW(hwnd_, &message) == FALSE) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Form1::pumpPending() {
    MSG message;
    while (!ended_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            // Put back for the loop that owns the quit.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(message);
    }
}

void Form1::letSystemEventsRun() {
    // Sent and posted messages and paints; the user's keys and clicks stay queued.
    MSG message;
    while (!ended_ &&
           PeekMessageW(&message, nullptr, 0, 0,
                        PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE | PM_QS_PAINT) != FALSE) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        dispatch(message);
    }
}

int Form1::run() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        dispatch(message);
    }
    return 0;
}

std::wstring Form1::layoutReport() const {
    std::wostringstream out;
    for (std::size_t i = 0; i < form::kControls.size(); ++i) {
        const form::Control& entry = form::kControls[i];
        const std::wstring name = ports::wideFromUtf8(std::string(entry.name));
        const RECT rect = clientRectOf(hwnd_, controls_[i]);
        out << name << L' ' << rect.left << L' ' << rect.top << L' ' << rect.right - rect.left
            << L' ' << rect.bottom - rect.top << L'\n';
        // The design's place in client twips, for the check of the rounding.
        const form::Pixels twips = form::pixelPlace(entry, 1440);
        out << L"design " << name << L' ' << twips.left << L' ' << twips.top << L' ' << twips.width
            << L' ' << twips.height << L'\n';
    }
    RECT client{};
    GetClientRect(hwnd_, &client);
    POINT origin{0, 0};
    ClientToScreen(hwnd_, &origin);
    out << L"client " << origin.x << L' ' << origin.y << L' ' << client.right << L' '
        << client.bottom << L'\n';
    out << L"dpi " << dpi_ << (perMonitorDpi() ? L" per-monitor" : L" system") << L'\n';
    out << L"fixedFont " << faceOf(fixedFont_) << L'\n';
    out << L"buttonFont " << faceOf(buttonFont_) << L'\n';
    out << L"windowFont " << faceOf(windowFont_) << L'\n';
    out << L"focus " << GetDlgCtrlID(GetFocus()) - kIdFirstControl << L'\n';
    // The tab stops as the keyboard walks them from the first.
    out << L"tabs";
    HWND first = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    for (HWND at = first; at != nullptr;) {
        out << L' ' << GetDlgCtrlID(at) - kIdFirstControl;
        at = GetNextDlgTabItem(hwnd_, at, FALSE);
        if (at == first) {
            break;
        }
    }
    out << L'\n';
    return out.str();
}

LRESULT CALLBACK Form1::windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* form = static_cast<Form1*>(create->lpCreateParams);
        form->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (form == nullptr || form->behaviour_ == nullptr) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return form->handle(hwnd, message, wParam, lParam);
}

LRESULT Form1::handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (item->hwndItem == at(form::Id::CmdStart)) {
                drawStartButton(*item);
                return TRUE;
            }
            break;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->code == TTN_GETDISPINFOW) {
                auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
                static thread_local std::wstring tip;
                tip = reinterpret_cast<HWND>(header->idFrom) == at(form::Id::CmdStart)
                          ? startToolTip_
                          : portToolTip();
                info->lpszText = tip.data();
                return 0;
            }
            break;
        }
        case WM_DROPFILES:
            dropped(reinterpret_cast<HDROP>(wParam));
            return 0;
        case WM_ACTIVATE:
            // The focus comes back to where it was when the window is active again.
            if (LOWORD(wParam) == WA_INACTIVE) {
                lastFocus_ = GetFocus();
            } else if (lastFocus_ != nullptr && IsWindowEnabled(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_DPICHANGED:
            applyResolution(HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            behaviour_->Form_Terminate();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                // The process may end as soon as this returns: the port is let go now.
                if (behaviour_->downloadRunning() && services_.releasePorts) {
                    services_.releasePorts();
                }
                behaviour_->Form_Terminate();
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Form1::onCommand(int id, int code, HWND control) {
    if (control == nullptr) {
        // A menu entry or its accelerator; a download may be running underneath.
        if (id == kIdMenuOpen) {
            behaviour_->mnuFileOpen_Click();
        } else if (id == kIdMenuExit) {
            behaviour_->mnuFileExit_Click();
        }
        return;
    }
    if (control == at(form::Id::OptCom0) || control == at(form::Id::OptCom1)) {
        // A click, or the focus arriving on an option that is not selected.
        if (code == BN_CLICKED || code == BN_SETFOCUS) {
            optionSelected(control == at(form::Id::OptCom0) ? 0 : 1);
        }
        return;
    }
    if (control == at(form::Id::CmdStart) && code == BN_CLICKED) {
        startClicked();
    }
}

}  // namespace korvane::ui::win32
