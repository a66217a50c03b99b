#pragma once

#include <cstdint>
#include <string>

#include "download/host.h"

namespace korvane::ui::form {

// The two drop-down lists: cboPORT and cboSPEED.
enum class List { Port, Speed };

// A colour as 0x00BBGGRR (a Win32 COLORREF).
using Colour = std::uint32_t;
inline constexpr Colour kLightRed = 0x008080FF;
inline constexpr Colour kLightGreen = 0x0080FF80;

// The window as the toolkit draws it: what the handlers of FormBehaviour ask of it. Qt implements
// it on Linux, Win32 on Windows; tests implement it with a recorder.
//
// The engine's half is the toolkit's download::Host: enabling the five controls, the progress
// bar and Label3, the message box and the pause for pending events. FormBehaviour hands the
// engine a host of its own that forwards to it and adds the end rule: once an end has been
// asked for, no message is shown and the next pause for events unwinds the download.
class FormView {
  public:
    virtual ~FormView() = default;

    // The toolkit's host, for as long as the view lives.
    virtual download::Host& host() = 0;

    // cboPORT and cboSPEED: remove every entry, add one at the end, choose one by its index
    // (-1 for none), read the chosen index (-1 for none) and the chosen entry's text.
    virtual void clearList(List list) = 0;
    virtual void addListEntry(List list, const std::string& text) = 0;
    virtual void chooseListEntry(List list, int index) = 0;
    virtual int chosenListEntry(List list) const = 0;
    virtual std::string chosenListText(List list) const = 0;

    // Whether optCOM(0), "COM Port", is selected.
    virtual bool serialSelected() const = 0;

    // The face of cmdSTART is painted in this colour.
    virtual void setStartColour(Colour colour) = 0;
    // cmdSTART's tooltip: the firmware file and its size.
    virtual void setStartToolTip(const std::string& text) = 0;

    // Shows Form1, not modal.
    virtual void showWindow() = 0;
    // An end was asked for while a download runs: hide the window, and close a message box
    // of ours that is up, so that nothing waits for a click; the download unwinds at its next
    // pause for events and endProgram follows.
    virtual void hideWindow() = 0;
    // Runs what the window system has queued (a close, the session's end, repaints) and leaves
    // the user's input queued.
    virtual void letSystemEventsRun() = 0;
    // Ends the program's event loop; no handler runs after it.
    virtual void endProgram() = 0;

    // The modal file-open dialog: title "Open", filter "Firmware File(*.DPX)|*.DPX"
    // (description|pattern), starting at fileName (empty for none). Returns the chosen file's
    // full path, or an empty string when the user cancelled.
    virtual std::string chooseFile(const std::string& title, const std::string& filter,
                                   const std::string& fileName) = 0;
};

}  // namespace korvane::ui::form
