#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "download/serial_port.h"
#include "ports/serial_port_choice.h"
#include "ports/windows/device_removal.h"
#include "ports/windows/win32_handle.h"

namespace korvane::ports {

class StopRequest;

// "COMk" for port number k, or %KORVANE_COMk% when it is set and not empty (a port name such
// as "COM7" or "\\.\COM7").
std::string windowsPortForNumber(int k);

// The COM ports the system knows (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM), in number order.
std::vector<std::string> registeredComPorts();

// The DCB we ask for: `base` (the port's own, for the fields we leave alone) at `baud`, 8N1,
// binary, no flow control of any kind, DTR on, RTS off.
DCB printerLine(const DCB& base, DWORD baud);
// Whether the port took what `printerLine` asked for: the speed, the framing and every kind of
// flow control. The levels of DTR and RTS are not compared, only that neither is a handshake:
// a driver without modem lines (a pseudo-terminal under Wine) reports them raised.
bool lineTaken(const DCB& wanted, const DCB& got);

// The serial line on a Windows COM port: opened exclusively, 8N1 at the chosen speed, no flow
// control, DTR on and RTS off. The acknowledgement wait blocks in ReadFile under a total
// time-out (no polling loop, no overlapped I/O), in slices short enough to notice a stop or
// the removal of the adapter.
// Closing puts back the DCB and the time-outs that the port had before we opened it.
class Win32SerialPort final : public download::SerialPort {
  public:
    using PortResolver = std::function<std::string(int portNumber)>;

    // COMk through the resolver; messages call the port "COMk", or "COMk (COM7)" when the
    // resolver maps it elsewhere.
    explicit Win32SerialPort(PortResolver resolver = windowsPortForNumber,
                             const StopRequest* stop = nullptr,
                             RemovalWatch watchRemoval = watchDeviceRemoval);
    // Always this port ("COM7" or "\\.\COM7"), whatever the port number; messages call it by
    // this name.
    static std::unique_ptr<Win32SerialPort> forPort(std::string name,
                                                    const StopRequest* stop = nullptr,
                                                    RemovalWatch watchRemoval = watchDeviceRemoval);
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    bool isOpen() const override { return handle_.valid(); }
    void close() noexcept override;
    void setPortNumber(int number) override;
    void setSettings(const std::string& settings) override;
    void open() override;
    void write(std::span<const std::uint8_t> bytes) override;
    // Throws download::DownloadAbandoned when a stop is requested during the wait.
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint deadline) override;

    // How messages name the port: "COM1", or "COM1 (COM7)" when KORVANE_COM1 maps it.
    std::string portLabel() const;

  private:
    void applySettings();
    void setTimeouts(DWORD readIntervalMs, DWORD readTotalMs);
    DWORD readSome(std::uint8_t* into, DWORD count);
    std::vector<std::uint8_t> takeWaiting();
    DWORD waitingCount();
    [[noreturn]] void failOpen(DWORD error);
    [[noreturn]] void failIo(const char* action, DWORD error);
    void restorePort() noexcept;
    void failIfRemoved(const char* action);

    SerialPortChoice choice_;
    const StopRequest* stop_;
    RemovalWatch watchRemoval_;

    Win32Handle handle_;
    std::unique_ptr<DeviceRemoval> removal_;  // while the port is open
    std::optional<DCB> savedLine_;
    std::optional<COMMTIMEOUTS> savedTimeouts_;
    std::optional<COMMTIMEOUTS> timeouts_;  // as last set
};

}  // namespace korvane::ports
