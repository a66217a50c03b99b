#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "download/port_io.h"

namespace korvane::ports {

// A hex I/O base address as a user writes it: "D010", "d010" or "0xD010". Nothing for any
// other text, for 0, and for a base whose three registers do not fit below 0x10000.
std::optional<std::uint16_t> parseIoBase(std::string_view text);

// Where a claim for a base address goes: the I/O base it drives and how the port is called in
// messages ("LPT1 (0xD010, from %KORVANE_LPT1%)").
struct LptTarget {
    std::uint16_t ioBase = 0;
    std::string label;
};

// The parallel ports of a Windows machine, reached through the port-I/O driver DLL
// (port_io_driver.h), which is loaded when a port is claimed and unloaded when it is released.
//
// InpOutParallelPorts{} sends a claim for kLpt1Base to %KORVANE_LPT1% when set (hex, for a PCIe
// card), else to 0x378; kLpt2Base to %KORVANE_LPT2% or 0x278; any other base to itself.
// forBase(0xD010) sends every claim, whatever its base, to 0xD010: this is
// `korvane-cli send --parallel D010`. The returned PortIo takes the engine's register addresses
// (base + 0..2) and reaches the same registers of the I/O base.
class InpOutParallelPorts final : public download::ParallelPorts {
  public:
    // Value of an environment variable, nothing when unset or empty.
    using Variable = std::function<std::optional<std::string>(const std::string& name)>;

    InpOutParallelPorts();
    explicit InpOutParallelPorts(Variable variable);

    static std::unique_ptr<InpOutParallelPorts> forBase(std::uint16_t base);

    // Throws download::PortError with a message naming the port and the fix.
    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override;

    // What claim(baseAddress) would drive, without loading anything. Throws download::PortError
    // for a %KORVANE_LPTk% that is not a hex base address.
    LptTarget targetFor(std::uint16_t baseAddress) const;

  private:
    Variable variable_;
    std::optional<std::uint16_t> pinned_;
};

}  // namespace korvane::ports
