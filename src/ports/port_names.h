#pragma once

#include <optional>
#include <string>

namespace korvane::ports {

// How this system reads a PORT named on the command line that is not one of the window's
// choices (COM1..COM4, LPT1, LPT2): the name the download takes, or nothing with the reason
// in error ("a serial PORT is ...").
std::optional<std::string> systemPortName(const std::string& word, bool serial, std::string& error);

// The lines of send's help that say what a serial and a parallel PORT may be here.
const char* portNamesHelp();

}  // namespace korvane::ports
