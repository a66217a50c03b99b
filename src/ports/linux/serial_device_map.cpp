#include "ports/linux/serial_device_map.h"

#include <optional>

namespace korvane::ports {

namespace {

std::optional<std::string> pinned(int portNumber, const SerialEnvironment& environment) {
    if (!environment.variable) {
        return std::nullopt;
    }
    auto value = environment.variable(comVariable(portNumber));
    return value && !value->empty() ? value : std::nullopt;
}

}  // namespace

std::string comVariable(int portNumber) {
    return "KORVANE_COM" + std::to_string(portNumber);
}

std::string serialDeviceForPort(int portNumber) {
    return comDevice(portNumber, SerialEnvironment::live());
}

std::string comDevice(int portNumber, const SerialEnvironment& environment) {
    if (portNumber < 1) {
        return {};
    }
    // A pinned port needs no look at the system.
    if (auto value = pinned(portNumber, environment)) {
        return *value;
    }
    return comDevice(portNumber, discoverSerialDevices(environment), environment);
}

std::string comDevice(int portNumber, const SerialInventory& inventory,
                      const SerialEnvironment& environment) {
    if (portNumber < 1) {
        return {};
    }
    if (auto value = pinned(portNumber, environment)) {
        return *value;
    }
    const auto devices = comDevices(inventory);
    if (static_cast<std::size_t>(portNumber) > devices.size()) {
        return {};
    }
    return devices[static_cast<std::size_t>(portNumber) - 1]->node.string();
}

}  // namespace korvane::ports
