#pragma once

#include "ports/port_listing.h"

namespace korvane::ports {

// What this Windows system has: the Ports device class (COM and LPT) through SetupAPI, merged
// with HARDWARE\DEVICEMAP\SERIALCOMM; the port driver DLL where a claim would load it; the live
// environment. With tryOpening, each COM port is opened and closed again to see whether it is free
// (skipped for Bluetooth ports, whose open tries to reach the far device).
SystemPorts discoverSystemPorts(bool tryOpening);

}  // namespace korvane::ports
