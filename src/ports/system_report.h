#pragma once

#include <optional>
#include <string>

namespace korvane::ports {

// Every serial and parallel port this system has, what each is, which COM or LPT choice it is,
// whether it can be opened; then the window's six choices. The text of `korvane-cli ports`.
std::string systemPortsReport();

// The line that names the device behind a port chosen as in the window (listIndex: COM1 at 0,
// LPT1 at 0) or, without one, by the name given on the command line.
std::string describeChosenPort(bool serial, std::optional<int> listIndex, const std::string& name);

}  // namespace korvane::ports
