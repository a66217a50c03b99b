#include "ports/system_ports.h"

#include <filesystem>

#include "ports/linux/linux_parallel_ports.h"
#include "ports/linux/parallel_port_mapping.h"
#include "ports/linux/serial_device_map.h"
#include "ports/linux/termios_serial_port.h"

namespace korvane::ports {

ChosenSerialPort chooseSerialPort(const std::string& name, bool windowChoice,
                                  const StopRequest* stop) {
    std::unique_ptr<TermiosSerialPort> port =
        windowChoice ? std::make_unique<TermiosSerialPort>(serialDeviceForPort, stop)
                     : TermiosSerialPort::forDevice(name, stop);
    // The functions look at the port that the struct owns, so they live no longer than it.
    TermiosSerialPort* const seen = port.get();
    ChosenSerialPort chosen;
    chosen.label = [seen] { return seen->portLabel(); };
    chosen.openNote = [seen] {
        return std::string(seen->lowLatencyAsked()
                               ? "low-latency mode on (a USB adapter sends each answer at once)"
                               : "no low-latency mode (the driver has none, or refused it)");
    };
    chosen.port = std::move(port);
    return chosen;
}

std::unique_ptr<download::ParallelPorts> chooseParallelPorts(const std::string& name,
                                                             bool windowChoice) {
    if (windowChoice) {
        return std::make_unique<LinuxParallelPorts>();
    }
    return LinuxParallelPorts::forDevice(name);
}

std::string portIdentity(bool serial, const std::string& name) {
    std::string device = name;
    if (serial && name.rfind('/', 0) != 0) {
        device = serialDeviceForPort(name.back() - '0');
    } else if (!serial && name.rfind('/', 0) != 0) {
        const std::uint16_t base = name == "LPT1" ? 0x378 : 0x278;
        const auto chosen = choosePort(base, ParallelEnvironment::live());
        if (chosen.kind != PortChoice::Kind::Ppdev) {
            return name;  // port I/O at LPT1's or LPT2's own addresses
        }
        device = chosen.device.string();
    }
    std::error_code error;
    const auto canonical = std::filesystem::canonical(device, error);
    return error ? device : canonical.string();
}

}  // namespace korvane::ports
