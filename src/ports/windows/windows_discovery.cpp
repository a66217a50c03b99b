#include "ports/windows/windows_discovery.h"

// initguid.h before devguid.h makes it define the class GUIDs; windows.h before them all.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "ports/environment_variable.h"
#include "ports/windows/port_io_driver.h"
#include "ports/windows/system_text.h"

namespace korvane::ports {

namespace {

std::wstring widened(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::toupper(static_cast<unsigned char>(a)) ==
                      std::toupper(static_cast<unsigned char>(b));
           });
}

struct DeviceSetCloser {
    void operator()(void* set) const { SetupDiDestroyDeviceInfoList(set); }
};
using DeviceSet = std::unique_ptr<void, DeviceSetCloser>;

class RegistryKey {
  public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) : key_(key == INVALID_HANDLE_VALUE ? nullptr : key) {}
    ~RegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }
    HKEY* out() { return &key_; }

  private:
    HKEY key_ = nullptr;
};

std::optional<std::wstring> stringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (key == nullptr || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != 0 ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != 0) {
        return std::nullopt;
    }
    return std::wstring(buffer.data());
}

std::optional<DWORD> dwordValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (key == nullptr ||
        RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != 0 ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

// A device's registry property; the first string of a multi-string one.
std::string property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which) {
    DWORD type = 0;
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type, nullptr, 0, &size);
    if (size == 0) {
        return {};
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), size, nullptr)) {
        return {};
    }
    return utf8FromWide(buffer.data());
}

std::string instanceIdOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    DWORD size = 0;
    SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &size);
    std::vector<wchar_t> buffer(size + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(set, &device, buffer.data(), size + 1, nullptr)) {
        return {};
    }
    return utf8FromWide(buffer.data());
}

std::string parentIdOf(DEVINST device) {
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, device, 0) != CR_SUCCESS) {
        return {};
    }
    wchar_t buffer[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(parent, buffer, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
        return {};
    }
    return utf8FromWide(buffer);
}

// The first I/O range of the device's resources: what it was given, else what firmware set.
std::optional<std::uint16_t> ioBaseOf(DEVINST device) {
    for (const ULONG which : {ALLOC_LOG_CONF, BOOT_LOG_CONF}) {
        LOG_CONF configuration = 0;
        if (CM_Get_First_Log_Conf(&configuration, device, which) != CR_SUCCESS) {
            continue;
        }
        std::optional<std::uint16_t> base;
        RES_DES range = 0;
        if (CM_Get_Next_Res_Des(&range, configuration, ResType_IO, nullptr, 0) == CR_SUCCESS) {
            ULONG size = 0;
            if (CM_Get_Res_Des_Data_Size(&size, range, 0) == CR_SUCCESS && size >= sizeof(IO_DES)) {
                std::vector<BYTE> data(size);
                IO_DES io{};
                if (CM_Get_Res_Des_Data(range, data.data(), size, 0) == CR_SUCCESS) {
                    std::memcpy(&io, data.data(), sizeof io);
                    if (io.IOD_Alloc_Base > 0 && io.IOD_Alloc_Base <= 0xFFFD) {
                        base = static_cast<std::uint16_t>(io.IOD_Alloc_Base);
                    }
                }
            }
            CM_Free_Res_Des_Handle(range);
        }
        CM_Free_Log_Conf_Handle(configuration);
        if (base) {
            return base;
        }
    }
    return std::nullopt;
}

void readPortsClass(SystemPorts& system) {
    const DeviceSet set(
        SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (set.get() == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set.get(), index, &device); ++index) {
        const RegistryKey parameters(
            SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        const std::string name =
            utf8FromWide(stringValue(parameters.get(), L"PortName").value_or(L""));
        const std::string friendlyName = property(set.get(), device, SPDRP_FRIENDLYNAME);
        const std::string instanceId = instanceIdOf(set.get(), device);
        if (startsWithNoCase(name, "LPT")) {
            system.lpt.push_back({name, friendlyName, instanceId, ioBaseOf(device.DevInst)});
            continue;
        }
        if (!startsWithNoCase(name, "COM")) {
            continue;
        }
        ComPort port;
        port.name = name;
        port.friendlyName = friendlyName;
        port.instanceId = instanceId;
        port.parentId = parentIdOf(device.DevInst);
        port.hardwareId = property(set.get(), device, SPDRP_HARDWAREID);
        port.service = property(set.get(), device, SPDRP_SERVICE);
        port.manufacturer = property(set.get(), device, SPDRP_MFG);
        if (const auto timer = dwordValue(parameters.get(), L"LatencyTimer")) {
            port.latencyTimerMs = static_cast<int>(*timer);
        }
        port.inPortsClass = true;
        system.com.push_back(port);
    }
}

// The kernel's serial devices: every COM port with a driver behind it, virtual ones included.
void mergeSerialComm(SystemPorts& system) {
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                      key.out()) != 0) {
        return;
    }
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longestName, &longestData, nullptr, nullptr) != 0) {
        return;
    }
    std::vector<wchar_t> name(longestName + 1);
    std::vector<wchar_t> data(longestData / sizeof(wchar_t) + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>((data.size() - 1) * sizeof(wchar_t));
        DWORD type = 0;
        std::fill(data.begin(), data.end(), L'\0');
        if (RegEnumValueW(key.get(), index, name.data(), &nameLength, nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != 0) {
            return;
        }
        const std::string port = utf8FromWide(data.data());
        if (type != REG_SZ || !comNumber(port)) {
            continue;
        }
        const auto known = std::find_if(system.com.begin(), system.com.end(),
                                        [&port](const ComPort& p) { return p.name == port; });
        ComPort& entry = known != system.com.end() ? *known : system.com.emplace_back();
        entry.name = port;
        entry.kernelDevice = utf8FromWide(std::wstring_view(name.data(), nameLength));
    }
}

std::string tryOpen(const std::string& name) {
    const HANDLE handle =
        CreateFileW((L"\\\\.\\" + widened(name)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return openErrorText(GetLastError());
    }
    CloseHandle(handle);
    return {};
}

}  // namespace

SystemPorts discoverSystemPorts(bool tryOpening) {
    SystemPorts system;
    system.variable = environmentVariable;
    readPortsClass(system);
    mergeSerialComm(system);
    std::stable_sort(system.com.begin(), system.com.end(), [](const auto& a, const auto& b) {
        return comNumber(a.name).value_or(1000) < comNumber(b.name).value_or(1000);
    });
    std::stable_sort(system.lpt.begin(), system.lpt.end(),
                     [](const auto& a, const auto& b) { return a.name < b.name; });
    for (auto& port : system.com) {
        if (tryOpening && !startsWithNoCase(port.instanceId, "BTHENUM\\")) {
            port.openProblem = tryOpen(port.name);
        }
    }
    const PortIoDriverFolders folders = portIoDriverFolders();
    system.driver.searched = {utf8FromWide(folders.program.wstring()),
                              utf8FromWide(folders.system.wstring())};
    if (const auto found = findPortIoDriver()) {
        system.driver.found = utf8FromWide(found->wstring());
    }
    return system;
}

}  // namespace korvane::ports
