#include "ui/win32/program_ports.h"

#include <windows.h>

#include <array>
#include <cstdio>

#include "download/port_error.h"

namespace korvane::ui::win32 {

namespace {

// Until the Windows adapters join the build.
class NoSerialPort final : public download::SerialPort {
  public:
    bool isOpen() const override { return false; }
    void close() noexcept override {}
    void setPortNumber(int) override {}
    void setSettings(const std::string&) override {}
    void open() override { throw download::PortError("no serial port adapter in this build"); }
    void write(std::span<const std::uint8_t>) override { open(); }
    std::vector<std::uint8_t> readAll(download::Clock::TimePoint) override {
        open();
        return {};
    }
};

class NoParallelPorts final : public download::ParallelPorts {
  public:
    std::unique_ptr<download::PortIo> claim(std::uint16_t) override {
        throw download::PortError("no parallel port adapter in this build");
    }
};

std::wstring environment(const wchar_t* name) {
    std::array<wchar_t, 256> value{};
    const DWORD length = GetEnvironmentVariableW(name, value.data(), value.size());
    return length > 0 && length < value.size() ? std::wstring(value.data()) : std::wstring();
}

}  // namespace

struct ProgramPorts::Ports {
    NoSerialPort serial;
    NoParallelPorts parallel;
};

ProgramPorts::ProgramPorts() : ports_(std::make_unique<Ports>()) {}
ProgramPorts::~ProgramPorts() = default;

download::SerialPort& ProgramPorts::serial() {
    return ports_->serial;
}

download::ParallelPorts& ProgramPorts::parallel() {
    return ports_->parallel;
}

void ProgramPorts::release() {
    ports_->serial.close();
}

std::wstring ProgramPorts::describe(int portType, int index) const {
    if (portType == 0) {
        const std::wstring choice = L"COM" + std::to_wstring(index + 1);
        const std::wstring pinned = environment((L"KORVANE_" + choice).c_str());
        const std::wstring device = pinned.empty() ? choice : pinned;
        std::array<wchar_t, 512> target{};
        const bool present = QueryDosDeviceW(device.c_str(), target.data(), target.size()) != 0;
        return choice + L": " + device + (pinned.empty() ? L"" : L" (%KORVANE_" + choice + L"%)") +
               (present ? L"" : L", not present");
    }
    const std::wstring choice = L"LPT" + std::to_wstring(index + 1);
    const std::wstring pinned = environment((L"KORVANE_" + choice).c_str());
    return choice + L": I/O base 0x" +
           (pinned.empty() ? std::wstring(index == 0 ? L"378" : L"278") : pinned) +
           L" through inpoutx64.dll";
}

}  // namespace korvane::ui::win32
