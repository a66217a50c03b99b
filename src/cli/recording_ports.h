#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "cli/failure_detail.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "image/record_walk.h"

namespace korvane::cli {

// A trace line, without its time stamp; nothing is traced when empty.
using TraceLine = std::function<void(const std::string&)>;

// The serial port as the transfer uses it, watched: the transfer writes each record in one
// call, so the k-th write is the k-th record of the serial walk; every read of the wait after it
// is kept with its time. One trace line per record once it is acknowledged or the port closes.
class RecordingSerialPort final : public download::SerialPort {
  public:
    RecordingSerialPort(download::SerialPort& port, std::span<const std::uint8_t> image,
                        SerialFacts facts, TraceLine trace);

    bool isOpen() const override { return port_.isOpen(); }
    void close() noexcept override;
    void setPortNumber(int number) override { port_.setPortNumber(number); }
    void setSettings(const std::string& settings) override { port_.setSettings(settings); }
    void open() override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint deadline) override;

    const SerialFacts& facts() const { return facts_; }
    // What the trace says of the port once it is open, e.g. whether the driver took the
    // low-latency request.
    void describeOpenWith(std::function<std::string()> describe) {
        describeOpen_ = std::move(describe);
    }

  private:
    using Clock = std::chrono::steady_clock;
    void traceRecord(bool acknowledged) noexcept;

    download::SerialPort& port_;
    image::RecordWalker walker_;
    SerialFacts facts_;
    TraceLine trace_;
    std::function<std::string()> describeOpen_;
    std::vector<double> replyMs_;  // when each reply came, after the write ended
    double writeMs_ = 0;
    Clock::time_point written_{};
    bool traced_ = true;
};

// The parallel port as the transfer uses it, watched: status reads give the latest status, data
// writes count the bytes, and the parallel walk says where each record ends.
class RecordingParallelPorts final : public download::ParallelPorts {
  public:
    RecordingParallelPorts(download::ParallelPorts& ports, std::span<const std::uint8_t> image,
                           ParallelFacts facts, TraceLine trace);

    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override;

    const ParallelFacts& facts() const { return facts_; }

  private:
    friend class RecordingPortIo;
    void onStatus(std::uint8_t status);
    void onData();

    download::ParallelPorts& ports_;
    image::RecordWalker walker_;
    std::optional<image::Record> current_;
    ParallelFacts facts_;
    TraceLine trace_;
    std::int64_t statusReads_ = 0;
    std::chrono::steady_clock::time_point recordStart_{};
};

}  // namespace korvane::cli
