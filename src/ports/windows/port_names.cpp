#include "ports/port_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace korvane::ports {
namespace {

constexpr int kHighestComPort = 256;
// The three registers of a port must fit below the top of the I/O space.
constexpr unsigned long kHighestBase = 0xFFFD;

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

// Every COMk is a choice here: %KORVANE_COMk% may map any of them.
int highestComChoice() {
    return kHighestComPort;
}

std::optional<std::string> systemDeviceName(const std::string& word, bool serial,
                                            std::string& error) {
    std::string upper = upperCase(word);
    if (serial) {
        // \\.\COMk is always the system's own port, whatever %KORVANE_COMk% says.
        if (upper.rfind("\\\\.\\", 0) == 0) {
            if (const auto number = comNumber(upper)) {
                return "\\\\.\\COM" + std::to_string(*number);
            }
        }
        error = "a serial PORT is COM1..COM256 or \\\\.\\COMk";
        return std::nullopt;
    }
    const std::string digits = upper.rfind("0X", 0) == 0 ? upper.substr(2) : upper;
    if (!digits.empty() && digits.size() <= 4 &&
        std::all_of(digits.begin(), digits.end(),
                    [](unsigned char c) { return std::isxdigit(c) != 0; })) {
        const unsigned long base = std::stoul(digits, nullptr, 16);
        if (base != 0 && base <= kHighestBase) {
            char text[8];
            std::snprintf(text, sizeof text, "0x%lX", base);
            return std::string(text);
        }
    }
    error = "a parallel PORT is LPT1, LPT2 or a hex I/O base address such as 0xD010";
    return std::nullopt;
}

const char* portNamesHelp() {
    return "  -s, --serial PORT    COM1..COM256 or \\\\.\\COMk (%KORVANE_COMk% may name another\n"
           "                       port): COM3, COM12, \\\\.\\COM12\n"
           "  -p, --parallel PORT  LPT1, LPT2, or a hex I/O base address: 0xD010\n";
}

const char* portNamesSentence() {
    return "Serial PORT is COM1..COM256 or \\\\.\\COMk;\n"
           "       parallel PORT is LPT1, LPT2 or a hex I/O base address such as 0xD010.";
}

const char* choicesParagraph() {
    return "COMk is %KORVANE_COMk% when set (a port name such as COM7), else the system's own\n"
           "COMk. LPT1 and LPT2 are the I/O bases %KORVANE_LPT1% and %KORVANE_LPT2% (hex) when\n"
           "set, else 0x378 / 0x278, reached through inpoutx64.dll.\n";
}

const char* stoppedStatus() {
    return "130: stopped by Ctrl+C, Ctrl+Break or the console closing";
}

}  // namespace korvane::ports
