#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/user_choices.h"
#include "ports/port_names.h"

namespace korvane::cli {

// One port to send to, in the order given.
struct PortChoice {
    bool serial = true;
    // How the messages, the table and the JSON show it: "COM1", "LPT2", "/dev/ttyUSB0".
    std::string port;
    std::string asGiven;   // "--serial COM1", for messages
    ports::PortName name;  // as the port layer read it
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
// options after FILE, and "--" to end the options. A port is read by the port layer
// (ports/port_names.h): a COMk or LPTk choice in any case, or the system's own name for a port.
SendParse parseSendOptions(const std::vector<std::string>& args);

std::string sendUsage();

}  // namespace korvane::cli
