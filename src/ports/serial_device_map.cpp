#include "ports/serial_device_map.h"

#include <cstdlib>

namespace korvane::ports {

std::string serialDeviceForPort(int portNumber) {
    if (portNumber < 1) {
        return {};
    }
    const std::string variable = "KORVANE_COM" + std::to_string(portNumber);
    if (const char* value = std::getenv(variable.c_str()); value != nullptr && *value != '\0') {
        return value;
    }
    return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace korvane::ports
