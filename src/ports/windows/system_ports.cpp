#include "ports/system_ports.h"

#include <algorithm>
#include <cctype>

#include "ports/windows/inpout_parallel_ports.h"
#include "ports/windows/win32_serial_port.h"

namespace korvane::ports {

ChosenSerialPort chooseSerialPort(const std::string& name, bool windowChoice,
                                  const StopRequest* stop) {
    std::unique_ptr<Win32SerialPort> port =
        windowChoice ? std::make_unique<Win32SerialPort>(windowsPortForNumber, stop)
                     : Win32SerialPort::forPort(name, stop);
    Win32SerialPort* const seen = port.get();
    ChosenSerialPort chosen;
    chosen.label = [seen] { return seen->portLabel(); };
    // Windows has no low-latency request: a USB adapter's latency timer is its driver's setting.
    chosen.openNote = [] { return std::string("latency as the driver's settings have it"); };
    chosen.port = std::move(port);
    return chosen;
}

std::unique_ptr<download::ParallelPorts> chooseParallelPorts(const std::string& name,
                                                             bool windowChoice) {
    if (windowChoice) {
        return std::make_unique<InpOutParallelPorts>();
    }
    return InpOutParallelPorts::forBase(static_cast<std::uint16_t>(std::stoul(name, nullptr, 16)));
}

std::string portIdentity(bool serial, const std::string& name) {
    std::string port = name;
    if (serial && port.size() == 4 && port.rfind("COM", 0) == 0) {
        port = windowsPortForNumber(port.back() - '0');
    }
    if (port.rfind("\\\\.\\", 0) == 0) {
        port = port.substr(4);
    }
    std::transform(port.begin(), port.end(), port.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return port;
}

}  // namespace korvane::ports
