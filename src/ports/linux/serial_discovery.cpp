#include "ports/linux/serial_discovery.h"

#include <linux/serial.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "ports/environment_variable.h"

namespace korvane::ports {

namespace fs = std::filesystem;

namespace {

// One line of a sysfs attribute, without its newline; empty when it cannot be read.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.pop_back();
    }
    return line;
}

fs::path canonicalOr(const fs::path& path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    return error ? fs::path() : resolved;
}

// The driver bound to the device or, when that is the serial core's own port device (kernels
// since 6.5), to the first ancestor bound to a driver of another bus.
std::string driverOf(fs::path device, const fs::path& sysRoot) {
    const fs::path devices = sysRoot / "devices";
    for (; !device.empty() && device != devices && device.has_relative_path();
         device = device.parent_path()) {
        std::error_code error;
        const fs::path driver = fs::read_symlink(device / "driver", error);
        if (error) {
            continue;
        }
        if (driver.parent_path().parent_path().filename() == "serial-base") {
            continue;
        }
        return driver.filename().string();
    }
    return {};
}

// Fills the USB fields from the nearest ancestor that is a USB device (it has idVendor).
void readUsb(const fs::path& device, const fs::path& sysRoot, SerialDevice& out) {
    const fs::path devices = sysRoot / "devices";
    fs::path below;
    for (fs::path dir = device; !dir.empty() && dir != devices && dir.has_relative_path();
         below = dir, dir = dir.parent_path()) {
        std::error_code error;
        if (!fs::exists(dir / "idVendor", error)) {
            continue;
        }
        out.usbPort = dir.filename().string();
        out.usbInterface = below.empty() ? out.usbPort : below.filename().string();
        out.vendorId = attribute(dir / "idVendor");
        out.productId = attribute(dir / "idProduct");
        out.manufacturer = attribute(dir / "manufacturer");
        out.product = attribute(dir / "product");
        out.serialNumber = attribute(dir / "serial");
        return;
    }
}

// The links in one /dev/serial folder that lead to the node.
std::vector<fs::path> linksTo(const fs::path& folder, const fs::path& node) {
    std::vector<fs::path> links;
    const fs::path target = canonicalOr(node);
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (!target.empty() && canonicalOr(entry->path()) == target) {
            links.push_back(entry->path());
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

int rank(SerialKind kind) {
    switch (kind) {
        case SerialKind::OnBoard:
            return 0;
        case SerialKind::UsbSerial:
        case SerialKind::UsbAcm:
            return 1;
        case SerialKind::Other:
            break;
    }
    return 2;
}

bool comOrderLess(const SerialDevice& a, const SerialDevice& b) {
    if (rank(a.kind) != rank(b.kind)) {
        return rank(a.kind) < rank(b.kind);
    }
    if (a.isUsb() && a.usbPort != b.usbPort) {
        return naturalLess(a.usbPort, b.usbPort);
    }
    if (a.isUsb() && a.usbInterface != b.usbInterface) {
        return naturalLess(a.usbInterface, b.usbInterface);
    }
    return naturalLess(a.name, b.name);
}

}  // namespace

SerialEnvironment SerialEnvironment::live() {
    SerialEnvironment environment;
    environment.variable = environmentVariable;
    return environment;
}

bool naturalLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            const std::size_t iEnd = a.find_first_not_of("0123456789", i);
            const std::size_t jEnd = b.find_first_not_of("0123456789", j);
            const std::string_view x =
                std::string_view(a).substr(i, iEnd == std::string::npos ? a.npos : iEnd - i);
            const std::string_view y =
                std::string_view(b).substr(j, jEnd == std::string::npos ? b.npos : jEnd - j);
            // Without leading zeros, the longer run of digits is the larger number.
            const auto xs = x.substr(std::min(x.find_first_not_of('0'), x.size()));
            const auto ys = y.substr(std::min(y.find_first_not_of('0'), y.size()));
            if (xs.size() != ys.size()) {
                return xs.size() < ys.size();
            }
            if (xs != ys) {
                return xs < ys;
            }
            i += x.size();
            j += y.size();
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::string uartTypeName(const std::string& sysfsType) {
    int type = PORT_UNKNOWN;
    const auto [end, error] =
        std::from_chars(sysfsType.data(), sysfsType.data() + sysfsType.size(), type);
    if (error != std::errc{} || end != sysfsType.data() + sysfsType.size() ||
        type == PORT_UNKNOWN || type < 0) {
        return {};
    }
    // The 8250 family, by the numbers of <linux/serial.h>.
    switch (type) {
        case PORT_8250:
            return "8250";
        case PORT_16450:
            return "16450";
        case PORT_16550:
            return "16550";
        case PORT_16550A:
            return "16550A";
        case PORT_CIRRUS:
            return "Cirrus";
        case PORT_16650:
            return "16650";
        case PORT_16650V2:
            return "16650V2";
        case PORT_16750:
            return "16750";
        case PORT_STARTECH:
            return "Startech";
        case PORT_16C950:
            return "16C950";
        case PORT_16654:
            return "16654";
        case PORT_16850:
            return "16850";
        case PORT_RSA:
            return "RSA";
        default:
            return "type " + std::to_string(type);
    }
}

SerialInventory discoverSerialDevices(const SerialEnvironment& environment) {
    SerialInventory inventory;
    const fs::path classDir = environment.sysRoot / "class/tty";
    std::error_code error;
    for (fs::directory_iterator entry(classDir, error), end; !error && entry != end;
         entry.increment(error)) {
        const fs::path dir = entry->path();
        const fs::path device = canonicalOr(dir / "device");
        // Consoles, virtual terminals and pseudo-terminals have no device behind them.
        if (device.empty()) {
            continue;
        }
        SerialDevice found;
        found.name = dir.filename().string();
        found.node = environment.devRoot / found.name;
        found.driver = driverOf(device, environment.sysRoot);
        readUsb(device, environment.sysRoot, found);
        if (found.name.starts_with("ttyS") && found.usbPort.empty()) {
            found.uartType = uartTypeName(attribute(dir / "type"));
            if (found.uartType.empty()) {
                inventory.phantoms.push_back(found.name);
                continue;
            }
            found.kind = SerialKind::OnBoard;
            found.ioPort = attribute(dir / "port");
            found.irq = attribute(dir / "irq");
        } else if (!found.usbPort.empty()) {
            found.kind = found.name.starts_with("ttyACM") || found.driver == "cdc_acm"
                             ? SerialKind::UsbAcm
                             : SerialKind::UsbSerial;
        }
        found.byId = linksTo(environment.devRoot / "serial/by-id", found.node);
        found.byPath = linksTo(environment.devRoot / "serial/by-path", found.node);
        inventory.devices.push_back(std::move(found));
    }
    std::sort(inventory.devices.begin(), inventory.devices.end(), comOrderLess);
    std::sort(inventory.phantoms.begin(), inventory.phantoms.end(), naturalLess);
    return inventory;
}

std::vector<const SerialDevice*> comDevices(const SerialInventory& inventory) {
    std::vector<const SerialDevice*> devices;
    for (const auto& device : inventory.devices) {
        if (device.kind != SerialKind::Other) {
            devices.push_back(&device);
        }
    }
    return devices;
}

}  // namespace korvane::ports
