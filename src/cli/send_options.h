#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/user_choices.h"

namespace korvane::cli {

// One port to send to, in the order given.
struct PortChoice {
    bool serial = true;
    // "COM1".."COM4", "LPT1", "LPT2", or a device path that starts with '/'.
    std::string port;
    std::string asGiven;  // "--serial COM1", for messages
};

struct SendOptions {
    std::vector<PortChoice> ports;                            // one download each, all at once
    std::string baud = std::string(download::kDefaultSpeed);  // for every serial port
    bool quiet = false;
    bool trace = false;
    std::string logFile;  // the trace goes here (appended) when set, else to standard error
    bool json = false;
    std::string file;
    bool help = false;  // nothing else is looked at then
};

struct SendParse {
    std::optional<SendOptions> options;
    std::string error;  // names the argument at fault when options is empty
};

// Parses the words after "send", the way GNU tools do: short options (-q, -b 9600, -qb9600),
// long options with a space or '=' (--baud 9600, --baud=9600) and unambiguous abbreviations,
// options after FILE, and "--" to end the options. A port is COM1..COM4 or LPT1, LPT2 in any
// case, or the system's own name for a port (ports/port_names.h).
SendParse parseSendOptions(const std::vector<std::string>& args);

std::string sendUsage();

}  // namespace korvane::cli
