#include "ports/system_report.h"

#include "ports/linux/port_report.h"

namespace korvane::ports {

std::string systemPortsReport() {
    const auto serial = SerialEnvironment::live();
    return portsReport(discoverSerialDevices(serial), serial, ParallelEnvironment::live());
}

}  // namespace korvane::ports
