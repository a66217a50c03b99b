#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "download/port_error.h"
#include "download/port_io.h"
#include "ports/linux/file_descriptor.h"
#include "ports/linux/parallel_port_mapping.h"

namespace korvane::ports {

// Exclusive: no other driver may even register on the port (PPEXCL). Shared: others may be
// registered, but none can take the port while we hold it, since ppdev never gives it up.
enum class ClaimMode { Exclusive, Shared };

// The port has other users, so an exclusive claim was refused.
class PortInUse : public download::PortError {
  public:
    using download::PortError::PortError;
};

// A parallel port through the kernel's ppdev driver (/dev/parportN). The constructor opens the
// device and claims the port (PPEXCL when exclusive, PPCLAIM); the destructor releases it
// (PPRELEASE). Each read or write is one ioctl, that is one register access.
class PpdevPortIo final : public download::PortIo {
  public:
    // base is the address the transfer calls the port by; the device may sit anywhere. Throws
    // PortInUse when an exclusive claim is refused, PortError for any other failure.
    // A device the user named is called by its path alone in messages (named), else by its
    // path and LPT.
    PpdevPortIo(std::filesystem::path device, std::uint16_t base,
                ClaimMode mode = ClaimMode::Exclusive, bool named = false);
    ~PpdevPortIo() override;
    PpdevPortIo(const PpdevPortIo&) = delete;
    PpdevPortIo& operator=(const PpdevPortIo&) = delete;

    std::uint8_t read(std::uint16_t address) override;
    void write(std::uint16_t address, std::uint8_t value) override;

  private:
    [[noreturn]] void fail(const char* operation, int error) const;

    std::filesystem::path device_;
    std::uint16_t base_;
    std::optional<std::uint16_t> labelBase_;
    FileDescriptor fd_;
};

}  // namespace korvane::ports
