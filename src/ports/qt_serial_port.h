#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "download/serial_port.h"
#include "ports/serial_device_map.h"

class QSerialPort;

namespace korvane::ports {

// The serial line on Qt SerialPort: 8N1 at the chosen speed, no flow control, DTR raised where
// the device has it, raw bytes, the port held exclusively while open (Qt's lock file and
// TIOCEXCL).
//
// It needs no running event loop: readAll blocks in poll() on the device until a byte comes or
// the deadline passes, and write hands the bytes straight to the device. Qt warns at open when
// the thread has no event dispatcher at all, so a program without a window should create a
// QCoreApplication first (it need not run it).
class QtSerialPort final : public download::SerialPort {
  public:
    using DeviceResolver = std::function<std::string(int portNumber)>;

    explicit QtSerialPort(DeviceResolver resolver = serialDeviceForPort);
    ~QtSerialPort() override;
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    bool isOpen() const override;
    void close() noexcept override;
    void setPortNumber(int number) override;
    void setSettings(const std::string& settings) override;
    void open() override;
    void write(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint deadline) override;

    // How messages name the port: "COM1 (/dev/ttyS0)", or the bare path when the resolver
    // gives a device of its own choosing.
    std::string portLabel() const;

  private:
    std::string resolveDevice() const;
    void applySettings();
    void requireOpen(const char* action) const;
    bool hungUp() const;
    [[noreturn]] void failOpen(const std::string& device);
    [[noreturn]] void failIo(const char* action, const std::string& reason);

    DeviceResolver resolver_;
    int portNumber_ = 1;
    std::string settingsText_ = "9600,n,8,1";
    std::int32_t baudRate_ = 9600;
    std::unique_ptr<QSerialPort> port_;
};

}  // namespace korvane::ports
