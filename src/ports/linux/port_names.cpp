#include "ports/port_names.h"

#include <filesystem>

namespace korvane::ports {

int highestComChoice() {
    return 4;
}

std::optional<std::string> systemDeviceName(const std::string& word, bool serial,
                                            std::string& error) {
    // COM5 or LPT3 are no device path; they would be taken for /dev/COM5.
    const std::string upper = word.substr(0, 3);
    if ((upper == "COM" || upper == "com" || upper == "LPT" || upper == "lpt") && word.size() > 3 &&
        word.find_first_not_of("0123456789", 3) == std::string::npos) {
        error = serial ? "a serial PORT is COM1..COM4 or a device path"
                       : "a parallel PORT is LPT1, LPT2 or a /dev/parportN path";
        return std::nullopt;
    }
    if (word.front() == '/') {
        return word;
    }
    if (word.find('/') != std::string::npos) {
        return std::filesystem::absolute(word).lexically_normal().string();
    }
    // A bare name, as serial tools take it: ttyUSB0 is /dev/ttyUSB0.
    return "/dev/" + word;
}

const char* portNamesHelp() {
    return "  -s, --serial PORT    COM1..COM4, or a serial device: /dev/ttyUSB0, ttyUSB0, ./ttyX,\n"
           "                       /dev/serial/by-id/...\n"
           "  -p, --parallel PORT  LPT1, LPT2, or a /dev/parportN device\n";
}

const char* portNamesSentence() {
    return "Serial PORT is COM1..COM4 or a device path such as\n"
           "       /dev/ttyUSB0; parallel PORT is LPT1, LPT2 or a /dev/parportN path.";
}

const char* choicesParagraph() {
    return "COMk is $KORVANE_COMk when set, else the k-th serial device that exists: on-board "
           "UARTs\n"
           "by number, then USB adapters by the USB port they are plugged in. LPT1 and LPT2 are\n"
           "$KORVANE_LPT1 and $KORVANE_LPT2 when set, else the parport at 0x378 / 0x278.\n";
}

const char* stoppedStatus() {
    return "128 + N: stopped by signal N (130: Ctrl+C)";
}

}  // namespace korvane::ports
