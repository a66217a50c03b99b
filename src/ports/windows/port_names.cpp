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

// The k of "COMk" for k = 1..256, else 0.
int comNumber(const std::string& upper) {
    if (upper.size() < 4 || upper.size() > 6 || upper.rfind("COM", 0) != 0 ||
        upper.find_first_not_of("0123456789", 3) != std::string::npos || upper[3] == '0') {
        return 0;
    }
    const int number = std::stoi(upper.substr(3));
    return number <= kHighestComPort ? number : 0;
}

}  // namespace

std::optional<std::string> systemPortName(const std::string& word, bool serial,
                                          std::string& error) {
    std::string upper = upperCase(word);
    if (serial) {
        const bool device = upper.rfind("\\\\.\\", 0) == 0;
        if (const int number = comNumber(device ? upper.substr(4) : upper); number != 0) {
            return (device ? "\\\\.\\COM" : "COM") + std::to_string(number);
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
    return "  -s, --serial PORT    COM1..COM4 as in the window (KORVANE_COMk may name another\n"
           "                       port), or any port of the system: COM7, \\\\.\\COM12\n"
           "  -p, --parallel PORT  LPT1, LPT2, or a hex I/O base address: 0xD010\n";
}

}  // namespace korvane::ports
