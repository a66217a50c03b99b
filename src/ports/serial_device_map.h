#pragma once

#include <string>

namespace korvane::ports {

// COMk is $KORVANE_COMk when that is set and not empty, else /dev/ttyS<k-1>. Returns an empty
// string for a port number below 1: there is no such COM port.
std::string serialDeviceForPort(int portNumber);

}  // namespace korvane::ports
