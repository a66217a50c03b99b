#include "ui/win32/program_ports.h"

#include <windows.h>

#include <array>
#include <cstdio>

#include "download/port_error.h"
#include "ports/windows/inpout_parallel_ports.h"
#include "ui/win32/win32_host.h"

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

std::wstring environment(const wchar_t* name) {
    std::array<wchar_t, 256> value{};
    const DWORD length = GetEnvironmentVariableW(name, value.data(), value.size());
    return length > 0 && length < value.size() ? std::wstring(value.data()) : std::wstring();
}

}  // namespace

struct ProgramPorts::Ports {
    NoSerialPort serial;
    ports::InpOutParallelPorts parallel;
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
    const std::uint16_t base = index == 0 ? download::kLpt1Base : download::kLpt2Base;
    try {
        return widen(ports_->parallel.targetFor(base).label);
    } catch (const download::PortError& error) {
        return widen(error.what());
    }
}

}  // namespace korvane::ui::win32
