#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/port_names.h"

namespace korvane::ports {

// What Windows knows of one COM port: the Ports device class, merged with the kernel's list of
// serial devices (HARDWARE\DEVICEMAP\SERIALCOMM) for ports no device stands behind.
struct ComPort {
    std::string name;          // "COM7"
    std::string friendlyName;  // "USB Serial Port (COM7)"; empty for a port the class lacks
    std::string instanceId;    // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000"
    std::string parentId;      // the instance ID of the device it hangs on, when there is one
    std::string hardwareId;    // the first hardware ID: "FTDIBUS\COMPORT&VID_0403&PID_6001"
    std::string service;       // the driver's service: "FTSER2K", "usbser", "Serial"
    std::string manufacturer;  // the driver package's maker: "FTDI"
    std::string kernelDevice;  // its SERIALCOMM name: "\Device\VCP0"
    std::optional<int> latencyTimerMs;
    bool inPortsClass = false;
    // Whether it opened just now: nothing when not tried, "" when it opened, else why not.
    std::optional<std::string> openProblem;
};

struct LptPort {
    std::string name;          // "LPT1"
    std::string friendlyName;  // "ECP Printer Port (LPT1)"
    std::string instanceId;
    std::optional<std::uint16_t> base;  // from its resources, when they can be read
};

// Where the port-I/O driver DLL was looked for, and where it was found (empty: nowhere).
struct PortDriverDll {
    std::vector<std::string> searched;  // folders, in the order they are tried
    std::string found;                  // the DLL's full path
};

struct SystemPorts {
    std::vector<ComPort> com;  // by number
    std::vector<LptPort> lpt;
    PortDriverDll driver;
    // An environment variable's value; nothing when unset or empty.
    std::function<std::optional<std::string>(const std::string& name)> variable;
};

inline constexpr char kPortDriverDll[] = "inpoutx64.dll";
inline constexpr std::uint16_t kLpt1DefaultBase = 0x378;
inline constexpr std::uint16_t kLpt2DefaultBase = 0x278;

// An I/O base address in hex, "D010" or "0xD010"; nothing for any other text.
std::optional<std::uint16_t> parseHexAddress(std::string_view text);

// USB vendor and product IDs ("0403", "6001") found in a hardware or instance ID.
struct UsbIds {
    std::string vendor;
    std::string product;
};
std::optional<UsbIds> usbIdsOf(std::string_view deviceId);

// The USB serial number an instance ID carries ("USB\VID_0403&PID_6001\A50285BI"); empty when
// the system made the ID up because the device has no serial number.
std::string serialNumberOf(std::string_view instanceId);

// A failed open's Win32 error code in words, with what the user can do.
std::string openErrorText(unsigned long code);

// "USB serial, FTDI 0403:6001, serial A50285BI, latency timer 16 ms".
std::string describeComPort(const ComPort& port);

// The line for COMk, the window's or one named on the command line: KORVANE_COMk may name
// another port, except for a device path ("\\.\COMk"), which is always the system's own.
std::string describeComChoice(int k, const SystemPorts& system, bool devicePath = false);

// The line for the window's LPTk (k = 1, 2; KORVANE_LPTk may give another base address).
std::string describeLptChoice(int k, const SystemPorts& system);

// The device line for a port chosen in the window (listIndex) or named on the command line
// (name, which wins when given).
std::string describeChosen(bool serial, std::optional<int> listIndex, const std::string& name,
                           const SystemPorts& system);

// The whole listing: COM ports, LPT ports and the driver DLL, then the window's six choices.
std::string portsListing(const SystemPorts& system);

}  // namespace korvane::ports
