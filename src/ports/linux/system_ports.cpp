#include "ports/system_ports.h"

#include <filesystem>

#include "ports/linux/linux_parallel_ports.h"
#include "ports/linux/parallel_port_mapping.h"
#include "ports/linux/serial_device_map.h"
#include "ports/linux/termios_serial_port.h"

namespace korvane::ports {
namespace {

class LinuxPorts final : public Ports {
  public:
    LinuxPorts(const std::optional<PortName>& named, const StopRequest* stop)
        : Ports(PortName::namesDevice(named, false) ? LinuxParallelPorts::forDevice(named->device)
                                                    : std::make_unique<LinuxParallelPorts>(),
                stop),
          serial_(PortName::namesDevice(named, true)
                      ? TermiosSerialPort::forDevice(named->device, stop)
                      : std::make_unique<TermiosSerialPort>(serialDeviceForPort, stop)) {}

    download::SerialPort& serial() override { return *serial_; }
    std::string serialLabel() const override { return serial_->portLabel(); }
    std::string openNote() const override {
        return serial_->lowLatencyAsked()
                   ? "low-latency mode on (a USB adapter sends each answer at once)"
                   : "no low-latency mode (the driver has none, or refused it)";
    }

  private:
    std::unique_ptr<TermiosSerialPort> serial_;
};

std::uint16_t lptBase(int choice) {
    return choice == 1 ? kLpt1Base : kLpt2Base;
}

}  // namespace

std::unique_ptr<Ports> portsFor(const std::optional<PortName>& named, const StopRequest* stop) {
    return std::make_unique<LinuxPorts>(named, stop);
}

std::string portIdentity(const PortName& name) {
    std::string device = name.device;
    if (name.choice != 0 && name.serial) {
        device = serialDeviceForPort(name.choice);
    } else if (name.choice != 0) {
        const auto chosen = choosePort(lptBase(name.choice), ParallelEnvironment::live());
        if (chosen.kind != PortChoice::Kind::Ppdev) {
            return name.text();  // port I/O at LPT1's or LPT2's own addresses
        }
        device = chosen.device.string();
    }
    std::error_code error;
    const auto canonical = std::filesystem::canonical(device, error);
    return error ? device : canonical.string();
}

}  // namespace korvane::ports
