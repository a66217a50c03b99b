#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace korvane::ports {

// The port-I/O driver DLL that gives a Windows program the processor's I/O instructions. It is
// never shipped: the user installs it.
inline constexpr char kPortIoDriverName[] = "inpoutx64.dll";

// Where the DLL may be loaded from, in the order it is looked for: the program's own folder,
// then System32. Never the current folder, nor anywhere on PATH: a DLL planted there must not
// be run.
struct PortIoDriverFolders {
    std::filesystem::path program;
    std::filesystem::path system;
    std::string programFile;  // "korvane-cli.exe", for the advice on where to put the DLL
};
PortIoDriverFolders portIoDriverFolders();

// The DLL the next claim would load, or nothing when neither folder holds it.
std::optional<std::filesystem::path> findPortIoDriver();
bool portIoDriverPresent();

// One line for a port listing: where the DLL was found, or where to put it.
std::string describePortIoDriver();

// The DLL loaded with its three entry points; unloaded when destroyed. Each read and write is
// one call into the driver, that is one port access.
class PortIoDriver {
  public:
    // port names the port being claimed, for messages ("LPT1 (0x378)"). Throws
    // download::PortError when the DLL is missing, will not load, is not the driver DLL, or its
    // driver cannot open.
    explicit PortIoDriver(const std::string& port);
    ~PortIoDriver();
    PortIoDriver(const PortIoDriver&) = delete;
    PortIoDriver& operator=(const PortIoDriver&) = delete;

    std::uint8_t read(std::uint16_t address) const { return read_(address); }
    void write(std::uint16_t address, std::uint8_t value) const { write_(address, value); }
    const std::filesystem::path& path() const { return path_; }

  private:
    using ReadFunction = unsigned char(__stdcall*)(unsigned short);
    using WriteFunction = void(__stdcall*)(unsigned short, unsigned char);

    std::filesystem::path path_;
    void* module_ = nullptr;
    ReadFunction read_ = nullptr;
    WriteFunction write_ = nullptr;
};

}  // namespace korvane::ports
