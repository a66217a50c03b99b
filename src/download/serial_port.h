#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "download/clock.h"

namespace korvane::download {

// The serial line to the printer. It carries raw bytes both ways, with no flow control.
// Every failing call throws PortError; close() never fails.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual bool isOpen() const = 0;
    virtual void close() noexcept = 0;
    // COMk is port number k; which device that is belongs to the adapter.
    virtual void setPortNumber(int number) = 0;
    // Line settings as "<baud>,n,8,1".
    virtual void setSettings(const std::string& settings) = 0;
    virtual void open() = 0;
    // Returns once every byte has been handed to the device.
    virtual void write(std::span<const std::uint8_t> bytes) = 0;
    // Blocks until at least one received byte is waiting or the deadline has passed, then takes
    // and returns every waiting byte: empty only when the deadline passed with nothing received.
    virtual std::vector<std::uint8_t> readAll(Clock::TimePoint deadline) = 0;
};

}  // namespace korvane::download
