#include "ports/system_report.h"

#include "ports/linux/port_report.h"

namespace korvane::ports {

std::string systemPortsReport(bool openEach) {
    const auto serial = SerialEnvironment::live();
    return portsReport(discoverSerialDevices(serial), serial, ParallelEnvironment::live(),
                       openEach);
}

}  // namespace korvane::ports
