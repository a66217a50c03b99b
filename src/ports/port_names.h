#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::ports {

// A port as a user names it, read once: a COMk or LPTk choice, which the port layer maps to a
// device as the window's choices are mapped, or the system's own name for a device.
struct PortName {
    bool serial = true;
    int choice = 0;      // k of COMk or LPTk; 0 when a device is named
    std::string device;  // the system's own name: "/dev/ttyUSB0", "\\.\COM12", "0xD010"

    // The entry of the window's port list at `index` (COM1 at 0; LPT1 at 0, LPT2 at any other).
    static PortName listEntry(bool serial, int index);
    // "COM3", "LPT1", or the device's name.
    std::string text() const;
    // Whether this names a device of the given kind outright, rather than a choice.
    static bool namesDevice(const std::optional<PortName>& name, bool serial) {
        return name && name->serial == serial && name->choice == 0;
    }
};

// Reads a PORT word: nothing, with the reason in error ("a serial PORT is ..."), when it names
// no port of this system.
std::optional<PortName> parsePortName(const std::string& word, bool serial, std::string& error);

// k of "COMk", "com7" or "\\.\COMk" (k = 1..256); nothing for any other text.
std::optional<int> comNumber(std::string_view name);

// The lines of send's help that say what a serial and a parallel PORT may be here.
const char* portNamesHelp();

// The help's words for this system: what send's PORT may be (a sentence), how the window's
// COM and LPT choices map to devices (a paragraph), and the status of a stopped download.
const char* portNamesSentence();
const char* choicesParagraph();
const char* stoppedStatus();

// What each system adds to the shared reading: its highest COMk choice, and its own names for
// a device (nothing, with the reason in error, for a word that is none).
int highestComChoice();
std::optional<std::string> systemDeviceName(const std::string& word, bool serial,
                                            std::string& error);

}  // namespace korvane::ports
