#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "ports/linux/parallel_port_mapping.h"
#include "ports/linux/serial_discovery.h"

namespace korvane::ports {

// What a device is, in a few words: "on-board UART 16550A at 0x3F8", "USB serial, by-id
// usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0".
std::string describeSerialDevice(const SerialDevice& device);

// One line for the device behind COMk: "COM1 is /dev/ttyUSB0 (USB serial, by-id ...)", or
// "COM2 has no device: ..." with what to do about it.
std::string describeSerialChoice(int portNumber, const SerialInventory& inventory,
                                 const SerialEnvironment& environment);

// The same for a device given by its path: "/dev/ttyUSB0 is COM1 (USB serial, by-id ...)".
std::string describeSerialPath(const std::string& path, const SerialInventory& inventory,
                               const SerialEnvironment& environment);

// "LPT1 is /dev/parport0 (parport0 is at 0x378)", or the direct port I/O it falls back to.
std::string describeParallelChoice(std::uint16_t base, const ParallelEnvironment& environment);

// The same for a parallel device given by its path: "/dev/parport2 is parport2 at 0xD010".
std::string describeParallelPath(const std::string& path, const ParallelEnvironment& environment);

// Every serial device and parallel port, with its names, what it is, which COM or LPT choice it
// is and whether this user may open it (and with openEach, whether it opens now); then the six
// choices of the window.
std::string portsReport(const SerialInventory& inventory, const SerialEnvironment& serial,
                        const ParallelEnvironment& parallel, bool openEach = false);

}  // namespace korvane::ports
