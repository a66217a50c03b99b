#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/clock.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "ui/form/form_behaviour.h"
#include "ui/form/form_layout.h"
#include "ui/form/form_view.h"

namespace korvane::ui::win32 {

class Win32Host;

// What the window works with but does not own.
struct FormServices {
    download::SerialPort& serialPort;
    download::ParallelPorts& parallelPorts;
    download::Clock& clock;
    // Closes the ports at once, for a session that ends while a download runs: Windows may end
    // the process as soon as the end-of-session message returns, before the download unwinds.
    std::function<void()> releasePorts;
    // The device behind a port list entry (port type as optCOM's index, list index).
    std::function<std::wstring(int portType, int index)> describePort;
};

// The main window, Form1, drawn by Win32: its controls at their places for the window's
// resolution, the owner-drawn start button, the menu and the message loop. The handlers and
// their state are FormBehaviour's; the messages of the window call into it.
class Form1 final : public form::FormView {
  public:
    Form1(HINSTANCE instance, FormServices services);
    ~Form1() override;
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    form::FormBehaviour& behaviour() { return *behaviour_; }
    // Form_Load, then the first focus, which selects "COM Port".
    void load();
    // Runs the window until it ends; the program's exit status.
    int run();
    // Handles every message already queued and returns.
    void pumpPending();

    HWND handle() const { return hwnd_; }
    // "<name> <left> <top> <width> <height>" per control in client pixels, then the client
    // area, its screen position, the resolution, the fonts, the focus and the tab stops.
    std::wstring layoutReport() const;

    // FormView
    void clearList(form::List list) override;
    void addListEntry(form::List list, const std::string& text) override;
    void chooseListEntry(form::List list, int index) override;
    int chosenListEntry(form::List list) const override;
    std::string chosenListText(form::List list) const override;
    bool serialSelected() const override;
    void setStartColour(form::Colour colour) override;
    void setStartToolTip(const std::string& text) override;
    void showWindow() override;
    void hideWindow() override;
    void letSystemEventsRun() override;
    void endProgram() override;
    std::string chooseFile(const std::string& title, const std::string& filter,
                           const std::string& fileName) override;

    download::Host& host() override;

  private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void onCommand(int id, int code, HWND control);
    void createControls();
    void createMenu();
    void createToolTips();
    void deleteFonts();
    void applyResolution(UINT dpi, const RECT* suggested);
    void placeWindow(UINT dpi, const RECT* suggested);
    void giveInitialFocus();
    void optionSelected(int index);
    void startClicked();
    void drawStartButton(const DRAWITEMSTRUCT& item);
    void dropped(HDROP drop);
    void dispatch(MSG& message);
    HWND listOf(form::List list) const;
    std::wstring portToolTip() const;
    HWND at(form::Id id) const { return controls_[static_cast<std::size_t>(id)]; }

    HINSTANCE instance_;
    FormServices services_;
    HWND hwnd_ = nullptr;
    // In the order of the window's table.
    std::array<HWND, form::kControls.size()> controls_{};
    HWND toolTip_ = nullptr;
    HACCEL accelerators_ = nullptr;
    HFONT fixedFont_ = nullptr;
    HFONT buttonFont_ = nullptr;
    HFONT windowFont_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;

    COLORREF startColour_;
    std::wstring startToolTip_;
    // The option the port list was last filled for; -1 before the first.
    int selectedOption_ = -1;
    bool ended_ = false;
    bool initialFocusGiven_ = false;
    HWND lastFocus_ = nullptr;

    std::unique_ptr<Win32Host> host_;
    std::unique_ptr<form::FormBehaviour> behaviour_;
};

}  // namespace korvane::ui::win32
