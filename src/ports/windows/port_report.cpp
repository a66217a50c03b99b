#include "ports/system_report.h"
#include "ports/windows/windows_discovery.h"

namespace korvane::ports {

std::string systemPortsReport() {
    return portsListing(discoverSystemPorts(true));
}

std::string describeChosenPort(bool serial, std::optional<int> listIndex, const std::string& name) {
    // Opening every port here would touch the one about to be used and wait on Bluetooth ones.
    return describeChosen(serial, listIndex, name, discoverSystemPorts(false));
}

}  // namespace korvane::ports
