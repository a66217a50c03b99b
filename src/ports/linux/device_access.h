#pragma once

#include <filesystem>
#include <string>

namespace korvane::ports {

// Whether this process may open a device for reading and writing, and what to do if not.
struct DeviceAccess {
    bool allowed = false;
    // The group whose members may use the device; empty when only root may.
    std::string group;
    // The user is in that group, but this login began before they joined it.
    bool loginPredatesGroup = false;
    // Why it is refused when it is neither of those ("no such device").
    std::string problem;
};

// defaultGroup is named when the device belongs to root's group ("dialout", "lp").
DeviceAccess accessOf(const std::filesystem::path& device, const std::string& defaultGroup);

// "yes", or what the user can do: "no: join the dialout group (sudo usermod -aG dialout $USER),
// then log in again".
std::string describeAccess(const DeviceAccess& access);

}  // namespace korvane::ports
