#include "ports/port_listing.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace korvane::ports {

namespace {

constexpr int kWindowComPorts = 4;

enum class ComKind { OnBoard, UsbSerial, UsbModem, Bluetooth, Virtual, Other };

std::string upper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return result;
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const auto& word : words) {
        if (!word.empty()) {
            text += (text.empty() ? "" : separator) + word;
        }
    }
    return text;
}

std::string hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// The hex digits of an address as KORVANE_LPTk takes them: "D010".
std::string bareHex(std::uint16_t value) {
    return hex(value).substr(2);
}

std::string comName(int k) {
    return "COM" + std::to_string(k);
}

std::string enumeratorOf(std::string_view instanceId) {
    return upper(instanceId.substr(0, instanceId.find('\\')));
}

ComKind kindOf(const ComPort& port) {
    if (!port.inPortsClass) {
        return ComKind::Virtual;
    }
    const std::string enumerator = enumeratorOf(port.instanceId);
    if (upper(port.service) == "USBSER") {
        return ComKind::UsbModem;
    }
    if (enumerator == "BTHENUM") {
        return ComKind::Bluetooth;
    }
    if (enumerator == "USB" || enumerator == "FTDIBUS" || usbIdsOf(port.hardwareId) ||
        usbIdsOf(port.instanceId)) {
        return ComKind::UsbSerial;
    }
    if (contains(upper(port.hardwareId), "PNP0501") || upper(port.service) == "SERIAL") {
        return ComKind::OnBoard;
    }
    return ComKind::Other;
}

const ComPort* findCom(const std::string& name, const SystemPorts& system) {
    for (const auto& port : system.com) {
        if (upper(port.name) == upper(name)) {
            return &port;
        }
    }
    return nullptr;
}

std::optional<std::string> variable(const SystemPorts& system, const std::string& name) {
    if (!system.variable) {
        return std::nullopt;
    }
    auto value = system.variable(name);
    return value && !value->empty() ? value : std::nullopt;
}

// The COM port that COMk opens, and whether KORVANE_COMk chose it; nothing when the variable
// holds no port name. The device form "\\.\COMk" always names the system's own port.
struct ComChoice {
    std::optional<std::string> port;
    bool pinned = false;
    std::string value;  // the variable's text
};

ComChoice comChoice(int k, const SystemPorts& system, bool devicePath = false) {
    if (!devicePath) {
        if (const auto value = variable(system, "KORVANE_COM" + std::to_string(k))) {
            const auto number = comNumber(*value);
            return {number ? std::optional(comName(*number)) : std::nullopt, true, *value};
        }
    }
    return {comName(k), false, {}};
}

std::string comLabels(const ComPort& port, const SystemPorts& system) {
    std::vector<std::string> labels;
    for (int k = 1; k <= kWindowComPorts; ++k) {
        const auto target = comChoice(k, system).port;
        if (target && upper(*target) == upper(port.name)) {
            labels.push_back(comName(k));
        }
    }
    return joined(labels, ", ");
}

std::string comPortsHad(const SystemPorts& system) {
    std::vector<std::string> names;
    for (const auto& port : system.com) {
        names.push_back(port.name);
    }
    if (names.empty()) {
        return "this system has no COM port";
    }
    return (names.size() == 1 ? "the port this system has is " : "the ports this system has are ") +
           joined(names, ", ");
}

std::optional<std::uint16_t> assumedBase(const LptPort& port) {
    if (port.base) {
        return port.base;
    }
    const std::string name = upper(port.name);
    if (name == "LPT1") {
        return kLpt1DefaultBase;
    }
    if (name == "LPT2") {
        return kLpt2DefaultBase;
    }
    return std::nullopt;
}

// The base address the window's LPTk drives, and whether KORVANE_LPTk chose it; nothing when
// the variable holds no address.
struct LptChoice {
    std::optional<std::uint16_t> base;
    bool pinned = false;
    std::string value;
};

LptChoice lptChoice(int k, const SystemPorts& system) {
    if (const auto value = variable(system, "KORVANE_LPT" + std::to_string(k))) {
        return {parseHexAddress(*value), true, *value};
    }
    return {k == 1 ? kLpt1DefaultBase : kLpt2DefaultBase, false, {}};
}

std::string driverState(const PortDriverDll& driver) {
    if (!driver.found.empty()) {
        return "port driver " + driver.found;
    }
    return std::string(kPortDriverDll) +
           " is missing: copy it beside the program or into System32, and run once as "
           "administrator";
}

// "LPT1 is I/O 0x378 (...)": what is at a base address, and whether the driver DLL is there.
std::string lptLine(const std::string& label, std::uint16_t base, const std::string& pinnedBy,
                    const SystemPorts& system) {
    std::vector<std::string> parts{pinnedBy.empty() ? "" : "%" + pinnedBy + "%"};
    const LptPort* match = nullptr;
    for (const auto& port : system.lpt) {
        if (assumedBase(port) == base) {
            match = &port;
            break;
        }
    }
    if (match != nullptr) {
        parts.push_back("the system's " + match->name +
                        (match->friendlyName.empty() ? "" : ", " + match->friendlyName) +
                        (match->base ? "" : ", at its usual address: its resources were unread"));
    } else if (system.lpt.empty()) {
        parts.push_back("this system lists no parallel port");
    } else {
        std::vector<std::string> elsewhere;
        for (const auto& port : system.lpt) {
            const auto at = assumedBase(port);
            elsewhere.push_back(port.name + (at ? " at " + hex(*at) : " at an unknown address"));
        }
        parts.push_back("no parallel port of this system is there; it has " +
                        joined(elsewhere, ", "));
    }
    parts.push_back(driverState(system.driver));
    return label + " is I/O " + hex(base) + " (" + joined(parts, "; ") + ")";
}

}  // namespace

std::optional<std::uint16_t> parseHexAddress(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    // A base needs its three registers below 0x10000; 0 is no port.
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value == 0 ||
        value > 0xFFFD) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<UsbIds> usbIdsOf(std::string_view deviceId) {
    const std::string id = upper(deviceId);
    const auto field = [&id](const char* key) -> std::string {
        const std::size_t at = id.find(key);
        if (at == std::string::npos || at + 8 > id.size()) {
            return {};
        }
        const std::string digits = id.substr(at + 4, 4);
        const bool allHex = std::all_of(digits.begin(), digits.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) != 0;
        });
        return allHex ? digits : std::string();
    };
    UsbIds ids{field("VID_"), field("PID_")};
    if (ids.vendor.empty() || ids.product.empty()) {
        return std::nullopt;
    }
    return ids;
}

std::string serialNumberOf(std::string_view instanceId) {
    const auto segments = split(instanceId, '\\');
    if (segments.size() < 3) {
        return {};
    }
    const std::string enumerator = upper(segments[0]);
    if (enumerator == "USB") {
        // An ID with '&' in it is one the system made up: no serial number, or one interface of
        // a composite device, whose parent carries it.
        if (contains(segments[2], "&")) {
            return {};
        }
        return segments[2];
    }
    if (enumerator == "FTDIBUS") {
        // "VID_0403+PID_6001+A50285BIA": the serial number, then the chip's channel letter.
        const auto fields = split(segments[1], '+');
        if (fields.size() >= 3 && fields[2].size() > 1) {
            return fields[2].substr(0, fields[2].size() - 1);
        }
    }
    return {};
}

std::string openErrorText(unsigned long code) {
    const std::string number = " (Windows error " + std::to_string(code) + ")";
    switch (code) {
        case 2:
        case 3:
            return "no: the port is gone" + number + "; plug the adapter in again";
        case 5:
        case 32:
            return "no: busy, another program holds it" + number + "; close that program";
        case 21:
        case 31:
        case 1167:
            return "no: the device does not answer" + number +
                   "; unplug the adapter and plug it in again";
        case 121:
            return "no: the port did not open in time" + number +
                   "; a Bluetooth port must reach its device first";
        default:
            return "no" + number;
    }
}

std::string describeComPort(const ComPort& port) {
    std::vector<std::string> parts;
    const ComKind kind = kindOf(port);
    switch (kind) {
        case ComKind::UsbSerial:
        case ComKind::UsbModem: {
            parts.push_back(kind == ComKind::UsbModem ? "USB ACM" : "USB serial");
            std::optional<UsbIds> ids = usbIdsOf(port.hardwareId);
            for (const auto* id : {&port.instanceId, &port.parentId}) {
                ids = ids ? ids : usbIdsOf(*id);
            }
            // The system's own driver names its maker, not the adapter's.
            const bool ownDriver = upper(port.manufacturer).starts_with("MICROSOFT");
            parts.push_back(joined({ownDriver ? std::string() : port.manufacturer,
                                    ids ? ids->vendor + ":" + ids->product : std::string()},
                                   " "));
            std::string serial = serialNumberOf(port.instanceId);
            serial = serial.empty() ? serialNumberOf(port.parentId) : serial;
            parts.push_back(serial.empty() ? "" : "serial " + serial);
            break;
        }
        case ComKind::Bluetooth:
            parts.push_back("Bluetooth serial port");
            break;
        case ComKind::OnBoard:
            parts.push_back("on-board serial port");
            break;
        case ComKind::Virtual:
            parts.push_back("virtual port" + (port.kernelDevice.empty()
                                                  ? ""
                                                  : ", kernel device " + port.kernelDevice));
            break;
        case ComKind::Other:
            parts.push_back(port.friendlyName.empty() ? "serial port" : port.friendlyName);
            parts.push_back(port.service.empty() ? "" : "driver " + port.service);
            break;
    }
    if (port.latencyTimerMs) {
        parts.push_back("latency timer " + std::to_string(*port.latencyTimerMs) + " ms");
    }
    return joined(parts, ", ");
}

std::string describeComChoice(int k, const SystemPorts& system, bool devicePath) {
    const std::string com = comName(k);
    const std::string name = "KORVANE_COM" + std::to_string(k);
    const ComChoice target = comChoice(k, system, devicePath);
    if (!target.port) {
        return com + ": %" + name + "% is '" + target.value +
               "', which is no COM port name: set it to COMk, such as COM7.";
    }
    if (const ComPort* port = findCom(*target.port, system)) {
        return com + " is " + port->name + " (" + (target.pinned ? "%" + name + "%, " : "") +
               describeComPort(*port) + ")";
    }
    const std::string had = comPortsHad(system);
    if (target.pinned) {
        return com + " is " + *target.port + " (%" + name +
               "%), which this system does not have: " + had + ". Set " + name + " to " +
               (system.com.empty() ? "the adapter's port once it is plugged in." : "one of them.");
    }
    if (devicePath) {
        return com + " does not exist: " + had + "." +
               (system.com.empty() ? " Plug in the adapter." : "");
    }
    return com + " has no port: " + had + "." +
           (system.com.empty() ? " Plug in the adapter, or set " : " Set ") + name +
           "=COMk to use another.";
}

std::string describeLptChoice(int k, const SystemPorts& system) {
    const std::string lpt = "LPT" + std::to_string(k);
    const std::string name = "KORVANE_LPT" + std::to_string(k);
    const LptChoice target = lptChoice(k, system);
    if (!target.base) {
        return lpt + ": %" + name + "% is '" + target.value +
               "', which is no I/O address: set it to the card's base address in hex, such as "
               "D010.";
    }
    return lptLine(lpt, *target.base, target.pinned ? name : "", system);
}

std::string describeChosen(bool serial, std::optional<int> listIndex, const std::string& name,
                           const SystemPorts& system) {
    if (serial) {
        if (name.empty()) {
            return listIndex ? describeComChoice(*listIndex + 1, system) : std::string();
        }
        const auto k = comNumber(name);
        return k ? describeComChoice(*k, system, name.starts_with("\\\\.\\"))
                 : name + " is no COM port name: give COMk (k = 1..256) or \\\\.\\COMk.";
    }
    if (name.empty()) {
        // Any entry but the first drives LPT2, as the transfer does.
        return listIndex ? describeLptChoice(*listIndex == 0 ? 1 : 2, system) : std::string();
    }
    if (upper(name) == "LPT1" || upper(name) == "LPT2") {
        return describeLptChoice(name.back() - '0', system);
    }
    if (const auto base = parseHexAddress(name)) {
        return lptLine(name, *base, "", system);
    }
    return name + " is no parallel port: give LPT1, LPT2 or a base address in hex, such as D010.";
}

std::string portsListing(const SystemPorts& system) {
    std::ostringstream out;
    out << "Serial ports:\n";
    if (system.com.empty()) {
        out << "  none: this system has no COM port.\n";
    }
    bool anyUsb = false;
    for (const auto& port : system.com) {
        const ComKind kind = kindOf(port);
        anyUsb = anyUsb || kind == ComKind::UsbSerial || kind == ComKind::UsbModem;
        const std::string labels = comLabels(port, system);
        out << "  " << port.name << "  " << (labels.empty() ? "no COM choice" : labels) << "  "
            << describeComPort(port) << '\n';
        if (!port.friendlyName.empty()) {
            out << "      name:     " << port.friendlyName << '\n';
        }
        if (!port.instanceId.empty()) {
            out << "      device:   " << port.instanceId << '\n';
        }
        if (!port.kernelDevice.empty() && port.inPortsClass) {
            out << "      kernel:   " << port.kernelDevice << '\n';
        }
        if (!port.service.empty()) {
            out << "      driver:   " << port.service
                << (port.manufacturer.empty() ? "" : ", " + port.manufacturer) << '\n';
        }
        if (port.latencyTimerMs && *port.latencyTimerMs > 1) {
            out << "      latency timer: " << *port.latencyTimerMs
                << " ms; 1 ms makes downloads faster: Device Manager > " << port.name
                << " > Port Settings > Advanced > Latency Timer\n";
        }
        if (labels.empty()) {
            out << "      not one of COM1..COM4 now: name it on the command line, or set "
                   "KORVANE_COMk="
                << port.name << " for the window\n";
        }
        if (port.openProblem) {
            out << "      may open: " << (port.openProblem->empty() ? "yes" : *port.openProblem)
                << '\n';
        }
    }
    if (!anyUsb) {
        out << "  No USB serial adapter is plugged in.\n";
    }
    const bool tried = std::any_of(system.com.begin(), system.com.end(), [](const ComPort& port) {
        return port.openProblem.has_value();
    });
    if (!system.com.empty() && !tried) {
        out << "  None was opened: korvane-cli ports --open tries each (an open and close "
               "toggles DTR and RTS on what hangs on it).\n";
    }

    out << "\nParallel ports:\n";
    if (system.lpt.empty()) {
        out << "  none: this system lists no parallel port. A PCI or PCIe card shows in Device "
               "Manager under Ports (COM & LPT).\n";
    }
    for (const auto& port : system.lpt) {
        const auto at = assumedBase(port);
        std::vector<std::string> labels;
        for (int k = 1; k <= 2; ++k) {
            if (at && lptChoice(k, system).base == at) {
                labels.push_back("LPT" + std::to_string(k));
            }
        }
        out << "  " << port.name << "  "
            << (labels.empty() ? "no LPT choice" : joined(labels, ", ")) << "  "
            << (at ? "at " + hex(*at) : "at an unknown address")
            << (at && !port.base ? " (its usual address: its resources were unread)" : "") << '\n';
        if (!port.friendlyName.empty()) {
            out << "      name:     " << port.friendlyName << '\n';
        }
        if (labels.empty() && at) {
            out << "      not LPT1 or LPT2 now: give " << bareHex(*at)
                << " on the command line, or set KORVANE_LPT1=" << bareHex(*at)
                << " for the window\n";
        }
    }
    out << "  Port driver: "
        << (system.driver.found.empty()
                ? std::string(kPortDriverDll) + " is missing (looked in " +
                      joined(system.driver.searched, " and ") +
                      "). It is the 64-bit DLL of the free InpOut32 port driver, not shipped "
                      "with this program: copy it beside the program or into System32; its "
                      "first use needs an administrator."
                : std::string(kPortDriverDll) + " found at " + system.driver.found + ".")
        << '\n';

    out << "\nThe window's choices:\n";
    for (int k = 1; k <= kWindowComPorts; ++k) {
        out << "  " << describeComChoice(k, system) << '\n';
    }
    for (int k = 1; k <= 2; ++k) {
        out << "  " << describeLptChoice(k, system) << '\n';
    }
    return out.str();
}

}  // namespace korvane::ports
