#include "ports/windows/port_io_driver.h"

#include <windows.h>

#include <string>

#include "download/port_error.h"

namespace korvane::ports {
namespace {

namespace fs = std::filesystem;

std::string utf8(const fs::path& path) {
    const auto text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string systemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                             text.back() == L'.')) {
        text.pop_back();
    }
    const std::string code = "error " + std::to_string(error);
    return text.empty() ? code : utf8(fs::path(text)) + " (" + code + ")";
}

fs::path programFile() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        // A full buffer means the name was cut short.
        if (length < buffer.size()) {
            buffer.resize(length);
            return fs::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

fs::path systemFolder() {
    std::wstring buffer(GetSystemDirectoryW(nullptr, 0), L'\0');
    buffer.resize(GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size())));
    return fs::path(buffer);
}

bool isFile(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::optional<fs::path> findIn(const PortIoDriverFolders& folders) {
    for (const fs::path* folder : {&folders.program, &folders.system}) {
        if (!folder->empty() && isFile(*folder / kPortIoDriverName)) {
            return *folder / kPortIoDriverName;
        }
    }
    return std::nullopt;
}

std::string whereToPut(const PortIoDriverFolders& folders) {
    return std::string("Put ") + kPortIoDriverName + " beside " + folders.programFile + " (in " +
           utf8(folders.program) + ") or in " + utf8(folders.system);
}

std::string whereFrom() {
    return std::string(kPortIoDriverName) +
           " is the 64-bit DLL of the free InpOut32 port driver; it is not shipped with this "
           "program.";
}

// GetProcAddress gives every entry point one type; void (*)() converts to any other without
// a warning.
template <typename Function>
Function entryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

PortIoDriverFolders portIoDriverFolders() {
    const fs::path program = programFile();
    return {program.parent_path(), systemFolder(), utf8(program.filename())};
}

std::optional<fs::path> findPortIoDriver() {
    return findIn(portIoDriverFolders());
}

bool portIoDriverPresent() {
    return findPortIoDriver().has_value();
}

std::string describePortIoDriver() {
    const PortIoDriverFolders folders = portIoDriverFolders();
    if (const auto found = findIn(folders)) {
        return std::string(kPortIoDriverName) + " found: " + utf8(*found);
    }
    return std::string(kPortIoDriverName) + " not found, so LPT ports cannot be used. " +
           whereFrom() + " " + whereToPut(folders) + ".";
}

PortIoDriver::PortIoDriver(const std::string& port) {
    const PortIoDriverFolders folders = portIoDriverFolders();
    const std::string cannot = "Cannot reach " + port + ": ";
    const auto found = findIn(folders);
    if (!found) {
        throw download::PortError(cannot + "the port driver DLL " + kPortIoDriverName +
                                  " is not installed (looked in " + utf8(folders.program) +
                                  " and in " + utf8(folders.system) + "). " + whereFrom() + " " +
                                  whereToPut(folders) + ", then run " + folders.programFile +
                                  " once as administrator so that it installs its driver.");
    }
    path_ = *found;
    // A full path, and the DLL's own dependencies from its folder or System32 only.
    HMODULE module = LoadLibraryExW(
        path_.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr) {
        throw download::PortError(
            cannot + utf8(path_) + " will not load: " + systemErrorText(GetLastError()) +
            ". It must be the 64-bit port driver DLL; " + whereToPut(folders) + ".");
    }
    module_ = module;
    read_ = entryPoint<ReadFunction>(module, "DlPortReadPortUchar");
    write_ = entryPoint<WriteFunction>(module, "DlPortWritePortUchar");
    const auto driverOpen = entryPoint<int(__stdcall*)()>(module, "IsInpOutDriverOpen");
    if (read_ == nullptr || write_ == nullptr || driverOpen == nullptr) {
        FreeLibrary(module);
        throw download::PortError(cannot + utf8(path_) +
                                  " is not the port driver DLL: it lacks DlPortReadPortUchar, "
                                  "DlPortWritePortUchar or IsInpOutDriverOpen. " +
                                  whereToPut(folders) + ": the 64-bit port driver DLL.");
    }
    if (driverOpen() == 0) {
        FreeLibrary(module);
        throw download::PortError(
            cannot + "the driver of " + utf8(path_) +
            " is not open. Its first use installs it, which needs an administrator: run " +
            folders.programFile +
            " once as administrator (right-click it, Run as administrator), then try again. If "
            "it still does not open, Windows keeps the driver from loading: Memory integrity "
            "(Windows Security > Device security > Core isolation), the vulnerable driver "
            "blocklist or security software refuse it, and running as administrator does not "
            "help then. Use a serial port, or a PC where that driver may load.");
    }
}

PortIoDriver::~PortIoDriver() {
    FreeLibrary(static_cast<HMODULE>(module_));
}

}  // namespace korvane::ports
