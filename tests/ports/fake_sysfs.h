#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "ports/linux/parallel_port_mapping.h"
#include "ports/linux/serial_discovery.h"

namespace korvane::ports::testing {

namespace fs = std::filesystem;

// A /sys, /dev and /proc of our own under a fresh temporary folder, laid out as the kernel and
// udev lay them out.
class FakeSysfs {
  public:
    FakeSysfs() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("korvane-sysfs-" + std::to_string(random()));
        fs::create_directories(root_ / "sys/class/tty");
        fs::create_directories(root_ / "dev");
        fs::create_directories(root_ / "proc/sys/dev/parport");
        serial_.sysRoot = root_ / "sys";
        serial_.devRoot = root_ / "dev";
        parallel_.procRoot = root_ / "proc";
        parallel_.devRoot = root_ / "dev";
        const auto lookup = [this](const std::string& name) -> std::optional<std::string> {
            const auto found = variables_.find(name);
            return found == variables_.end() ? std::nullopt : std::optional(found->second);
        };
        serial_.variable = lookup;
        parallel_.variable = lookup;
    }
    ~FakeSysfs() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    // A terminal with no device behind it: a console or a virtual terminal.
    void virtualTty(const std::string& name) { fs::create_directories(classDir(name)); }

    // An 8250 port on the PNP bus, behind the serial core's own devices of kernels since 6.5.
    void uart(const std::string& name, const std::string& type, const std::string& ioPort) {
        const fs::path pnp = root_ / "sys/devices/pnp0" / ("00:0" + name.substr(4));
        const fs::path port = pnp / "port0" / "port0.0";
        fs::create_directories(port);
        link(pnp / "driver", root_ / "sys/bus/pnp/drivers/serial");
        link(pnp / "port0/driver", root_ / "sys/bus/serial-base/drivers/ctrl");
        link(port / "driver", root_ / "sys/bus/serial-base/drivers/port");
        tty(name, port);
        write(classDir(name) / "type", type + "\n");
        write(classDir(name) / "port", ioPort + "\n");
        write(classDir(name) / "irq", "4\n");
    }

    // A USB adapter plugged in at usbPort ("1-2"); ACM devices hang on the interface itself,
    // usb-serial ones on a port device below it.
    void usb(const std::string& name, const std::string& usbPort, const std::string& driver,
             const std::string& interfaceNumber = "1.0") {
        const fs::path device = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / usbPort;
        const fs::path interface = device / (usbPort + ":" + interfaceNumber);
        fs::create_directories(interface);
        write(device / "idVendor", "0403\n");
        write(device / "idProduct", "6001\n");
        write(device / "manufacturer", "FTDI\n");
        write(device / "product", "FT232R USB UART\n");
        write(device / "serial", "A50285BI\n");
        link(interface / "driver", root_ / "sys/bus/usb/drivers" / driver);
        if (driver == "cdc_acm") {
            tty(name, interface);
            return;
        }
        const fs::path port = interface / name;
        fs::create_directories(port);
        link(port / "driver", root_ / "sys/bus/usb-serial/drivers" / driver);
        tty(name, port);
    }

    // A serial device of another kind, on a platform bus.
    void other(const std::string& name) {
        const fs::path device = root_ / "sys/devices/platform/uart0";
        fs::create_directories(device);
        link(device / "driver", root_ / "sys/bus/amba/drivers/uart-pl011");
        tty(name, device);
    }

    // The device node: a plain file, or a link to a real node such as a pseudo-terminal.
    void node(const std::string& name, const fs::path& target = {}) {
        if (target.empty()) {
            write(dev(name), "");
        } else {
            fs::create_symlink(target, dev(name));
        }
    }
    // A udev link in /dev/serial/by-id or by-path.
    void stableName(const std::string& folder, const std::string& name, const std::string& to) {
        fs::create_directories(dev("serial/" + folder));
        fs::create_symlink("../../" + to, dev("serial/" + folder + "/" + name));
    }

    void parport(int number, const std::string& baseAddr, const std::string& modes) {
        const fs::path dir = root_ / "proc/sys/dev/parport" / ("parport" + std::to_string(number));
        fs::create_directories(dir);
        write(dir / "base-addr", baseAddr);
        write(dir / "modes", modes + "\n");
        write(dir / "irq", "7\n");
        node("parport" + std::to_string(number));
    }

    void variable(const std::string& name, const std::string& value) { variables_[name] = value; }
    fs::path dev(const std::string& name) const { return root_ / "dev" / name; }
    const SerialEnvironment& serial() const { return serial_; }
    const ParallelEnvironment& parallel() const { return parallel_; }

  private:
    fs::path classDir(const std::string& name) const { return root_ / "sys/class/tty" / name; }
    void tty(const std::string& name, const fs::path& device) {
        fs::create_directories(classDir(name));
        link(classDir(name) / "device", device);
    }
    static void link(const fs::path& at, const fs::path& target) {
        fs::create_directories(at.parent_path());
        fs::create_symlink(target, at);
    }
    static void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    }

    fs::path root_;
    SerialEnvironment serial_;
    ParallelEnvironment parallel_;
    std::map<std::string, std::string> variables_;
};

}  // namespace korvane::ports::testing
