#pragma once

#include <string>

#include "ports/linux/serial_discovery.h"

namespace korvane::ports {

// COMk is $KORVANE_COMk when that is set and not empty; else the k-th serial device that really
// exists, in COM order (on-board UARTs with a known UART type by number, then USB and ACM
// adapters by their USB port path). Returns an empty string for a port number below 1, and when
// there are fewer than k such devices: there is no such COM port right now.
std::string serialDeviceForPort(int portNumber);

// The same over another system (roots and variables), and over devices already discovered.
std::string comDevice(int portNumber, const SerialEnvironment& environment);
std::string comDevice(int portNumber, const SerialInventory& inventory,
                      const SerialEnvironment& environment);

// The name of the variable that pins COMk to a device.
std::string comVariable(int portNumber);

}  // namespace korvane::ports
