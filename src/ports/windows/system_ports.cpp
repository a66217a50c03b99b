#include "ports/system_ports.h"

#include <algorithm>
#include <cctype>

#include "ports/windows/inpout_parallel_ports.h"
#include "ports/windows/win32_serial_port.h"

namespace korvane::ports {
namespace {

class WindowsPorts final : public Ports {
  public:
    WindowsPorts(const std::optional<PortName>& named, const StopRequest* stop)
        : Ports(PortName::namesDevice(named, false)
                    ? InpOutParallelPorts::forBase(
                          static_cast<std::uint16_t>(std::stoul(named->device, nullptr, 16)))
                    : std::make_unique<InpOutParallelPorts>(),
                stop),
          serial_(PortName::namesDevice(named, true)
                      ? Win32SerialPort::forPort(named->device, stop)
                      : std::make_unique<Win32SerialPort>(windowsPortForNumber, stop)) {}

    download::SerialPort& serial() override { return *serial_; }
    std::string serialLabel() const override { return serial_->portLabel(); }
    // Windows has no low-latency request: a USB adapter's latency timer is its driver's setting.
    std::string openNote() const override { return "latency as the driver's settings have it"; }

  private:
    std::unique_ptr<Win32SerialPort> serial_;
};

}  // namespace

std::unique_ptr<Ports> portsFor(const std::optional<PortName>& named, const StopRequest* stop) {
    return std::make_unique<WindowsPorts>(named, stop);
}

std::string portIdentity(const PortName& name) {
    std::string port =
        name.choice != 0 && name.serial ? windowsPortForNumber(name.choice) : name.text();
    if (port.rfind("\\\\.\\", 0) == 0) {
        port = port.substr(4);
    }
    std::transform(port.begin(), port.end(), port.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return port;
}

}  // namespace korvane::ports
