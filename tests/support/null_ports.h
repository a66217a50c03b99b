#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "download/port_error.h"
#include "download/port_io.h"
#include "download/serial_port.h"

namespace korvane::testing {

// The port of the transfer a setup does not drive: a download that reaches for it ends as a
// port error, which the test then sees in the outcome.
class NullSerialPort final : public download::SerialPort {
  public:
    bool isOpen() const override { return false; }
    void close() noexcept override {}
    void setPortNumber(int) override {}
    void setSettings(const std::string&) override {}
    void open() override { throw download::PortError("no serial port in this setup"); }
    void write(std::span<const std::uint8_t>) override { open(); }
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint) override {
        open();
        return {};
    }
};

class NullParallelPorts final : public download::ParallelPorts {
  public:
    std::unique_ptr<download::PortIo> claim(std::uint16_t) override {
        throw download::PortError("no parallel port in this setup");
    }
};

}  // namespace korvane::testing
