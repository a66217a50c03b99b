#pragma once

#include <cstdint>
#include <exception>

#include "download/port_io.h"

namespace korvane::ports {

// A parallel port through the processor's I/O instructions. The constructor asks the kernel for
// the three registers (ioperm) and the destructor gives them back; only root, or a process with
// CAP_SYS_RAWIO, gets them. Nothing claims the port against the kernel's own drivers.
class DirectPortIo final : public download::PortIo {
  public:
    // Throws DirectIoDenied when the kernel refuses the registers.
    explicit DirectPortIo(std::uint16_t base);
    ~DirectPortIo() override;
    DirectPortIo(const DirectPortIo&) = delete;
    DirectPortIo& operator=(const DirectPortIo&) = delete;

    std::uint8_t read(std::uint16_t address) override;
    void write(std::uint16_t address, std::uint8_t value) override;

  private:
    void check(std::uint16_t address) const;

    std::uint16_t base_;
};

// The kernel refused ioperm; error is its errno, so the caller can say what else it tried.
class DirectIoDenied : public std::exception {
  public:
    explicit DirectIoDenied(int error) : error_(error) {}
    int error() const { return error_; }
    const char* what() const noexcept override { return "direct port I/O refused"; }

  private:
    int error_;
};

}  // namespace korvane::ports
