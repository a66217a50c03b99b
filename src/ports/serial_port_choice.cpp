#include "ports/serial_port_choice.h"

#include "download/port_error.h"
#include "ports/serial_settings.h"

namespace korvane::ports {

using download::PortError;

SerialPortChoice SerialPortChoice::pinnedTo(std::string port) {
    SerialPortChoice choice{Resolver{}};
    choice.pinned_ = std::move(port);
    return choice;
}

void SerialPortChoice::setPortNumber(int number, bool portOpen) {
    if (portOpen) {
        throw PortError("Cannot switch to COM" + std::to_string(number) + " while " + label() +
                        " is open. Close it first.");
    }
    if (number != portNumber_) {
        resolved_.reset();
    }
    portNumber_ = number;
}

void SerialPortChoice::setSettings(const std::string& settings) {
    const auto baud = parseSerialSettings(settings);
    if (!baud) {
        throw PortError("The serial settings \"" + settings + "\" for " + label() +
                        " cannot be used: the printer needs \"<speed>,n,8,1\" (8 data bits, no "
                        "parity, 1 stop bit) with a speed such as 38400. Choose a speed from the "
                        "list.");
    }
    settingsText_ = settings;
    baudRate_ = *baud;
}

std::string SerialPortChoice::port() const {
    if (pinned_) {
        return *pinned_;
    }
    if (!resolved_) {
        resolved_ = resolver_ ? resolver_(portNumber_) : "";
    }
    return *resolved_;
}

std::string SerialPortChoice::label() const {
    const std::string resolved = port();
    if (pinned_) {
        return resolved;
    }
    const std::string com = "COM" + std::to_string(portNumber_);
    return resolved.empty() || resolved == com ? com : com + " (" + resolved + ")";
}

}  // namespace korvane::ports
