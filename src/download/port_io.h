#pragma once

#include <cstdint>
#include <memory>

namespace korvane::download {

// Raw access to a PC parallel port's registers: each call is exactly one hardware access, made
// at the moment of the call, in call order. Failures throw PortError.
class PortIo {
  public:
    virtual ~PortIo() = default;
    virtual std::uint8_t read(std::uint16_t address) = 0;
    virtual void write(std::uint16_t address, std::uint8_t value) = 0;
};

// The base addresses of the two PC parallel ports; data, status and control follow at +0..+2.
inline constexpr std::uint16_t kLpt1Base = 0x378;
inline constexpr std::uint16_t kLpt2Base = 0x278;

// Gives the transfer the parallel port whose registers start at a base address (kLpt1Base or
// kLpt2Base). The port is held for the life of the returned object and released with it.
class ParallelPorts {
  public:
    virtual ~ParallelPorts() = default;
    virtual std::unique_ptr<PortIo> claim(std::uint16_t baseAddress) = 0;
};

}  // namespace korvane::download
