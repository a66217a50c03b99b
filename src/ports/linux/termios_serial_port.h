#pragma once

#include <termios.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "download/serial_port.h"
#include "ports/linux/device_lock.h"
#include "ports/linux/file_descriptor.h"
#include "ports/linux/serial_device_map.h"
#include "ports/serial_port_choice.h"

namespace korvane::ports {

class StopRequest;

// The serial line on the device's own descriptor: 8N1 at the chosen speed, raw, no flow
// control, DTR raised and RTS low where the device has modem lines, low-latency mode asked of
// USB adapters (one acknowledgement byte per record would otherwise wait out the adapter's
// latency timer every time). All I/O goes through the one descriptor, in poll(), write() and
// read(); nothing else watches it, and no event loop is needed.
//
// While open the device is held against every other program: a lock file under its canonical
// path, flock() on the descriptor and TIOCEXCL. Closing puts back the line settings and the
// low-latency flag that the device had before we opened it.
class TermiosSerialPort final : public download::SerialPort {
  public:
    using DeviceResolver = std::function<std::string(int portNumber)>;

    // COMk through the resolver; messages call the port "COMk (device)".
    explicit TermiosSerialPort(DeviceResolver resolver = serialDeviceForPort,
                               const StopRequest* stop = nullptr);
    // Always this device, whatever the port number; messages call it by this name.
    static std::unique_ptr<TermiosSerialPort> forDevice(std::string device,
                                                        const StopRequest* stop = nullptr);
    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    bool isOpen() const override { return fd_.get() >= 0; }
    void close() noexcept override;
    void setPortNumber(int number) override;
    void setSettings(const std::string& settings) override;
    void open() override;
    void write(std::span<const std::uint8_t> bytes) override;
    // Throws download::DownloadAbandoned when a stop is requested during the wait.
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint deadline) override;

    // How messages name the port: "COM1 (/dev/ttyS0)", or the device named on the command line.
    std::string portLabel() const;
    // Whether the driver took the low-latency request at the latest open.
    bool lowLatencyAsked() const { return lowLatencyAsked_; }

  private:
    void applySettings();
    [[noreturn]] void failOpen(const std::string& path, int error);
    [[noreturn]] void failIo(const char* action, const std::string& reason);
    bool hungUp() const;
    void askLowLatency();
    void restoreDevice() noexcept;

    SerialPortChoice choice_;
    const StopRequest* stop_;

    FileDescriptor fd_;
    std::unique_ptr<DeviceLock> lock_;
    std::optional<termios> savedSettings_;
    std::optional<int> savedSerialFlags_;
    bool lowLatencyAsked_ = false;
};

}  // namespace korvane::ports
