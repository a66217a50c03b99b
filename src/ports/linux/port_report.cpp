#include "ports/linux/port_report.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "ports/linux/device_access.h"
#include "ports/linux/serial_device_map.h"
#include "ports/system_ports.h"

namespace korvane::ports {

namespace fs = std::filesystem;

namespace {

constexpr int kComPorts = 4;

std::string hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

// Whether the device opens right now, asked for only: an open raises DTR and RTS on a serial
// line, and the close drops them.
std::string openedNow(const fs::path& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::string("no: ") + std::strerror(errno);
    }
    ::close(fd);
    return "yes";
}

bool present(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

// Two names of one device: the same node once links are followed. (std::filesystem's
// equivalent refuses device nodes.)
bool sameDevice(const fs::path& a, const fs::path& b) {
    struct stat x {};
    struct stat y {};
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

const SerialDevice* findDevice(const std::string& path, const SerialInventory& inventory) {
    for (const auto& device : inventory.devices) {
        if (path == device.node.string() || sameDevice(path, device.node)) {
            return &device;
        }
    }
    return nullptr;
}

std::string joined(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const auto& word : words) {
        text += (text.empty() ? "" : separator) + word;
    }
    return text;
}

// "COM1", "COM1, COM3", or empty: the window choices that reach the device right now.
std::string comLabels(const SerialDevice& device, const SerialInventory& inventory,
                      const SerialEnvironment& environment) {
    std::vector<std::string> labels;
    for (int k = 1; k <= kComPorts; ++k) {
        const std::string target = comDevice(k, inventory, environment);
        if (!target.empty() &&
            (target == device.node.string() || sameDevice(target, device.node))) {
            labels.push_back("COM" + std::to_string(k));
        }
    }
    return joined(labels, ", ");
}

// What a device that discovery does not list is, for a path that names one.
std::string describeUnlisted(const std::string& path) {
    if (!present(path)) {
        return "does not exist";
    }
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    if (!error && resolved.parent_path() == "/dev/pts") {
        return "a pseudo-terminal";
    }
    return "not a serial device the kernel lists";
}

std::string usbSummary(const SerialDevice& device) {
    std::vector<std::string> parts;
    if (!device.vendorId.empty()) {
        parts.push_back("vendor " + device.vendorId + ", product " + device.productId);
    }
    if (!device.manufacturer.empty() || !device.product.empty()) {
        parts.push_back(joined({device.manufacturer, device.product}, " "));
    }
    if (!device.serialNumber.empty()) {
        parts.push_back("serial " + device.serialNumber);
    }
    parts.push_back("USB port " + device.usbPort);
    return joined(parts, ", ");
}

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string comUnset(int portNumber) {
    return "set " + comVariable(portNumber) + " to a device path";
}

}  // namespace

std::string describeSerialDevice(const SerialDevice& device) {
    switch (device.kind) {
        case SerialKind::OnBoard:
            return "on-board UART " + device.uartType +
                   (device.ioPort.empty() ? "" : " at " + device.ioPort);
        case SerialKind::UsbSerial:
        case SerialKind::UsbAcm: {
            const std::string what = device.kind == SerialKind::UsbAcm ? "USB ACM" : "USB serial";
            if (!device.byId.empty()) {
                return what + ", by-id " + device.byId.front().filename().string();
            }
            return what + " at USB port " + device.usbPort;
        }
        case SerialKind::Other:
            break;
    }
    return "serial device" + (device.driver.empty() ? "" : ", driver " + device.driver);
}

std::string describeSerialChoice(int portNumber, const SerialInventory& inventory,
                                 const SerialEnvironment& environment) {
    const std::string com = "COM" + std::to_string(portNumber);
    const std::string target = comDevice(portNumber, inventory, environment);
    const std::string variable = comVariable(portNumber);
    const auto value = environment.variable ? environment.variable(variable) : std::nullopt;
    const bool pinned = value && !value->empty();
    if (target.empty()) {
        const std::size_t found = comDevices(inventory).size();
        const std::string why = found == 0 ? "no serial port or USB serial adapter was found"
                                           : "only " + std::to_string(found) + " serial device" +
                                                 (found == 1 ? " was" : "s were") + " found";
        return com + " has no device: " + why + ". Plug in the adapter, or " +
               comUnset(portNumber) + ".";
    }
    const SerialDevice* device = findDevice(target, inventory);
    const std::string what = device ? describeSerialDevice(*device) : describeUnlisted(target);
    return com + " is " + target + " (" + (pinned ? "$" + variable + ", " : std::string()) + what +
           ")";
}

std::string describeSerialPath(const std::string& path, const SerialInventory& inventory,
                               const SerialEnvironment& environment) {
    const SerialDevice* device = findDevice(path, inventory);
    if (device == nullptr) {
        return present(path) ? path + " is " + describeUnlisted(path) : path + " does not exist";
    }
    const std::string labels = comLabels(*device, inventory, environment);
    return path + " is " + (labels.empty() ? "" : labels + " ") + "(" +
           describeSerialDevice(*device) + ")";
}

std::string describeParallelChoice(std::uint16_t base, const ParallelEnvironment& environment) {
    const PortChoice choice = choosePort(base, environment);
    const std::string lpt = portLabel(base);
    if (choice.kind == PortChoice::Kind::Ppdev) {
        return lpt + " is " + choice.device.string() + " (" + choice.reason + ")";
    }
    return lpt + " is " + choice.reason + " (no parallel port device for it; root only" +
           (choice.ppdevMissing ? "; the kernel has the port: sudo modprobe ppdev" : "") + ")";
}

std::string describeParallelPath(const std::string& path, const ParallelEnvironment& environment) {
    if (!present(path)) {
        return path + " does not exist";
    }
    if (const auto number = parportNumberOf(path)) {
        for (const auto& parport : kernelParports(environment.procRoot)) {
            if (parport.number == *number) {
                const std::string lpt = portLabel(parport.base);
                return path + " is parport" + std::to_string(*number) + " at " + hex(parport.base) +
                       (lpt.starts_with("LPT") ? " (the address of " + lpt + ")" : "");
            }
        }
    }
    return path + " is not a parallel port the kernel lists";
}

std::string describePort(const PortName& name) {
    if (name.serial) {
        const SerialEnvironment environment = SerialEnvironment::live();
        const SerialInventory inventory = discoverSerialDevices(environment);
        return name.choice != 0 ? describeSerialChoice(name.choice, inventory, environment)
                                : describeSerialPath(name.device, inventory, environment);
    }
    const ParallelEnvironment environment = ParallelEnvironment::live();
    if (name.choice != 0) {
        return describeParallelChoice(name.choice == 1 ? kLpt1Base : kLpt2Base, environment);
    }
    return describeParallelPath(name.device, environment);
}

std::string portsReport(const SerialInventory& inventory, const SerialEnvironment& serial,
                        const ParallelEnvironment& parallel, bool openEach) {
    std::ostringstream out;
    out << "Serial devices:\n";
    if (inventory.devices.empty()) {
        out << "  none: no serial port or USB serial adapter found.\n";
    }
    bool anyUsb = false;
    for (const auto& device : inventory.devices) {
        anyUsb = anyUsb || device.isUsb();
        const std::string labels = comLabels(device, inventory, serial);
        out << "  " << device.node.string() << "  " << (labels.empty() ? "no COM choice" : labels)
            << "  ";
        switch (device.kind) {
            case SerialKind::OnBoard:
                out << "on-board UART " << device.uartType;
                if (!device.ioPort.empty()) {
                    out << " at I/O " << device.ioPort;
                }
                if (!device.irq.empty()) {
                    out << ", IRQ " << device.irq;
                }
                break;
            case SerialKind::UsbSerial:
                out << "USB serial adapter";
                break;
            case SerialKind::UsbAcm:
                out << "USB ACM device";
                break;
            case SerialKind::Other:
                out << "serial device";
                break;
        }
        out << '\n';
        for (const auto& link : device.byId) {
            out << "      by-id:    " << link.string() << '\n';
        }
        for (const auto& link : device.byPath) {
            out << "      by-path:  " << link.string() << '\n';
        }
        if (device.isUsb()) {
            out << "      USB:      " << usbSummary(device) << '\n';
        } else {
            out << "      stable names: none (the kernel's name of an on-board port is stable)\n";
        }
        if (device.kind == SerialKind::OnBoard) {
            out << "      behind it: unknown (a UART cannot tell whether anything is on its "
                   "cable)\n";
        }
        out << "      driver:   " << (device.driver.empty() ? "unknown" : device.driver) << '\n';
        if (labels.empty()) {
            out << "      not one of COM1..COM4 now: use its path, or set KORVANE_COMk to it\n";
        }
        out << "      may open: " << describeAccess(accessOf(device.node, "dialout")) << '\n';
        if (openEach) {
            out << "      opens:    " << openedNow(device.node) << '\n';
        }
    }
    if (!anyUsb) {
        out << "  No USB serial adapter is plugged in.\n";
    }
    const std::size_t phantoms = inventory.phantoms.size();
    if (phantoms == 0) {
        out << "  Left out: none (no /dev/ttyS* node without a UART behind it).\n";
    } else {
        out << "  Left out: " << phantoms << " /dev/ttyS* node" << (phantoms == 1 ? "" : "s")
            << " with no UART behind " << (phantoms == 1 ? "it" : "them") << " ("
            << joined(inventory.phantoms, ", ")
            << "): the kernel reads the UART type as unknown, and a download to one only times "
               "out.\n";
    }

    out << "\nParallel ports:\n";
    const auto parports = kernelParports(parallel.procRoot);
    if (parports.empty()) {
        out << "  none: the kernel knows no parallel port (" << parallel.procRoot.string()
            << "/sys/dev/parport). If this computer has one, load the drivers: sudo modprobe "
               "parport_pc ppdev.\n";
    }
    const PortChoice lpt1 = choosePort(kLpt1Base, parallel);
    const PortChoice lpt2 = choosePort(kLpt2Base, parallel);
    for (const auto& parport : parports) {
        const std::string name = "parport" + std::to_string(parport.number);
        const fs::path node = parallel.devRoot / name;
        std::vector<std::string> labels;
        for (const auto* choice : {&lpt1, &lpt2}) {
            if (choice->kind == PortChoice::Kind::Ppdev && sameDevice(choice->device, node)) {
                labels.push_back(choice == &lpt1 ? "LPT1" : "LPT2");
            }
        }
        const fs::path proc = parallel.procRoot / "sys/dev/parport" / name;
        out << "  " << node.string() << "  "
            << (labels.empty() ? "no LPT choice" : joined(labels, ", ")) << "  at "
            << hex(parport.base);
        if (const std::string irq = readLine(proc / "irq"); !irq.empty() && irq != "-1") {
            out << ", IRQ " << irq;
        }
        const std::string modes = readLine(proc / "modes");
        out << ", modes " << (modes.empty() ? "unknown" : modes) << '\n';
        if (const auto claimant = activeClaimant(parallel.procRoot, parport.number);
            claimant && *claimant != "none") {
            out << "      held by:  " << *claimant << '\n';
        }
        if (labels.empty()) {
            out << "      not LPT1 or LPT2 now: use its path, or set KORVANE_LPT1 to it\n";
        }
        out << "      may open: "
            << (present(node) ? describeAccess(accessOf(node, "lp"))
                              : "no: " + node.string() + " is missing; sudo modprobe ppdev")
            << '\n';
        if (openEach) {
            out << "      opens:    " << openedNow(node) << '\n';
        }
    }

    out << "\nThe window's choices:\n";
    for (int k = 1; k <= kComPorts; ++k) {
        out << "  " << describeSerialChoice(k, inventory, serial) << '\n';
    }
    for (const std::uint16_t base : {kLpt1Base, kLpt2Base}) {
        out << "  " << describeParallelChoice(base, parallel) << '\n';
    }
    return out.str();
}

}  // namespace korvane::ports
