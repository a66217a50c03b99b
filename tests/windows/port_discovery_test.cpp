// Discovery on a live system: under Wine, the COM ports its prefix maps to Unix devices must
// show, as the kernel's serial devices, in the listing and the device lines.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <vector>

#include "ports/system_ports.h"
#include "ports/system_report.h"
#include "ports/windows/windows_discovery.h"

namespace korvane::ports {
namespace {

// The COM ports HKLM\Software\Wine\Ports maps; none outside Wine.
std::vector<std::string> wineMappedPorts() {
    HKEY key = nullptr;
    std::vector<std::string> ports;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Wine\\Ports", 0, KEY_READ, &key) != 0) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumValueA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) {
            break;
        }
        if (comNumber(name)) {
            ports.emplace_back(name);
        }
    }
    RegCloseKey(key);
    return ports;
}

TEST(WindowsDiscovery, EveryMappedComPortIsListedAndDescribed) {
    const auto mapped = wineMappedPorts();
    if (mapped.empty()) {
        GTEST_SKIP() << "no COM port is mapped in HKLM\\Software\\Wine\\Ports";
    }
    const SystemPorts system = discoverSystemPorts(true);
    const std::string listing = portsListing(system);
    for (const auto& name : mapped) {
        const auto port = std::find_if(system.com.begin(), system.com.end(),
                                       [&name](const ComPort& p) { return p.name == name; });
        ASSERT_NE(port, system.com.end()) << name << " is missing:\n" << listing;
        EXPECT_TRUE(port->kernelDevice.starts_with("\\Device\\")) << port->kernelDevice;
        EXPECT_TRUE(port->openProblem.has_value()) << name << " was not tried";
        EXPECT_NE(listing.find("\n  " + name + "  "), std::string::npos) << listing;

        SystemPorts pinned = system;
        pinned.variable = [&name](const std::string& variable) {
            return variable == "KORVANE_COM2" ? std::optional(name) : std::nullopt;
        };
        EXPECT_EQ(describeChosen(true, 1, "", pinned),
                  "COM2 is " + name + " (%KORVANE_COM2%, virtual port, kernel device " +
                      port->kernelDevice + ")");
    }
    const std::string missing = describePort({true, 0, "\\\\.\\COM255"});
    EXPECT_TRUE(missing.starts_with("COM255 does not exist: the port")) << missing;
    EXPECT_NE(missing.find(mapped.front()), std::string::npos) << missing;
    for (std::size_t i = 1; i < system.com.size(); ++i) {
        EXPECT_LT(comNumber(system.com[i - 1].name), comNumber(system.com[i].name)) << listing;
    }
    EXPECT_NE(systemPortsReport(false).find("The window's choices:\n  COM1 "), std::string::npos);
}

}  // namespace
}  // namespace korvane::ports
