#include "ui/win32/program_ports.h"

#include <windows.h>

#include <algorithm>

#include "download/port_error.h"
#include "ports/windows/inpout_parallel_ports.h"
#include "ports/windows/system_text.h"
#include "ports/windows/win32_serial_port.h"

namespace korvane::ui::win32 {

struct ProgramPorts::Ports {
    ports::Win32SerialPort serial;
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
        const std::string choice = "COM" + std::to_string(index + 1);
        const std::string device = ports::windowsPortForNumber(index + 1);
        const auto known = ports::registeredComPorts();
        const bool present = std::find(known.begin(), known.end(), device) != known.end();
        return ports::wideFromUtf8(
            choice + (device == choice ? "" : " (" + device + ", from %KORVANE_" + choice + "%)") +
            (present ? "" : ": the system lists no such port"));
    }
    const std::uint16_t base = index == 0 ? download::kLpt1Base : download::kLpt2Base;
    try {
        return ports::wideFromUtf8(ports_->parallel.targetFor(base).label);
    } catch (const download::PortError& error) {
        return ports::wideFromUtf8(error.what());
    }
}

}  // namespace korvane::ui::win32
