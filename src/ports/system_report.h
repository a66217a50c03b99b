#pragma once

#include <string>

namespace korvane::ports {

// Every serial and parallel port this system has, what each is, which COM or LPT choice it is;
// then the window's six choices. The text of `korvane-cli ports`. Only with openEach is each
// port opened and closed again to see whether it is free: that toggles DTR and RTS on whatever
// hangs on it.
std::string systemPortsReport(bool openEach);

}  // namespace korvane::ports
