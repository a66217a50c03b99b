#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace korvane::ports {

// Where serial discovery looks. The defaults are the live system; tests point the roots at a
// fake tree and the environment at a map.
struct SerialEnvironment {
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
    // Value of an environment variable, nothing when unset or empty.
    std::function<std::optional<std::string>(const std::string& name)> variable;

    static SerialEnvironment live();
};

enum class SerialKind {
    OnBoard,    // a /dev/ttyS* UART whose type the kernel knows
    UsbSerial,  // a USB serial adapter (usb-serial drivers, vendor drivers)
    UsbAcm,     // a USB modem-class device (cdc_acm)
    Other,      // a real serial device of another kind: listed, never a COM port by itself
};

// One serial device that really exists, from /sys/class/tty/<name>.
struct SerialDevice {
    std::string name;            // "ttyUSB0"
    std::filesystem::path node;  // its node under the dev root
    SerialKind kind = SerialKind::Other;
    std::string driver;        // "ftdi_sio", "cdc_acm", "serial"
    std::string uartType;      // "16550A" for an on-board UART
    std::string ioPort;        // "0x3F8" for an on-board UART
    std::string irq;           // "4"
    std::string usbPort;       // "1-1.2": where the adapter is plugged in
    std::string usbInterface;  // "1-1.2:1.0"
    std::string vendorId;      // "0403"
    std::string productId;     // "6001"
    std::string manufacturer;  // the adapter's own strings, empty when it has none
    std::string product;
    std::string serialNumber;
    std::vector<std::filesystem::path> byId;    // /dev/serial/by-id links to the node
    std::vector<std::filesystem::path> byPath;  // /dev/serial/by-path links to the node

    bool isUsb() const { return kind == SerialKind::UsbSerial || kind == SerialKind::UsbAcm; }
};

struct SerialInventory {
    // In COM order: on-board UARTs by number, then USB and ACM adapters by their USB port
    // path; then the other kinds by name.
    std::vector<SerialDevice> devices;
    // /dev/ttyS* nodes with no UART behind them (the kernel reads their type as unknown).
    std::vector<std::string> phantoms;
};

SerialInventory discoverSerialDevices(const SerialEnvironment& environment);

// The devices that COM1, COM2, ... stand for, in order (the kinds other than Other).
std::vector<const SerialDevice*> comDevices(const SerialInventory& inventory);

// The kernel's name of a UART type number from sysfs ("4" gives "16550A"); empty for unknown.
std::string uartTypeName(const std::string& sysfsType);

// Order of names and USB port paths with their numbers compared as numbers: ttyS2 before
// ttyS10, 1-2 before 1-10.
bool naturalLess(const std::string& a, const std::string& b);

}  // namespace korvane::ports
