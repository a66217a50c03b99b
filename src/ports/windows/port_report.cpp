#include "ports/system_ports.h"
#include "ports/system_report.h"
#include "ports/windows/windows_discovery.h"

namespace korvane::ports {

std::string systemPortsReport(bool openEach) {
    return portsListing(discoverSystemPorts(openEach));
}

std::string describePort(const PortName& name) {
    // Opening every port here would touch the one about to be used and wait on Bluetooth ones.
    const std::optional<int> listIndex =
        name.choice != 0 ? std::optional(name.choice - 1) : std::nullopt;
    return describeChosen(name.serial, listIndex, name.device, discoverSystemPorts(false));
}

}  // namespace korvane::ports
