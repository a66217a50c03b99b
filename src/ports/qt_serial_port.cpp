#include "ports/qt_serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "download/port_error.h"
#include "ports/serial_settings.h"

namespace korvane::ports {
namespace {

using download::PortError;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A write that the device has not taken after the wire time of its bytes and this much more
// has stalled: with no flow control a working line always drains.
constexpr milliseconds kWriteGrace{5000};

// Where Qt opens a port name: a bare name such as "ttyUSB0" lives under /dev.
std::string systemPath(const std::string& device) {
    if (device.starts_with('/') || device.starts_with("./") || device.starts_with("../")) {
        return device;
    }
    return "/dev/" + device;
}

int millisecondsUntil(steady_clock::time_point deadline) {
    const auto now = steady_clock::now();
    if (deadline <= now) {
        return 0;
    }
    // Rounded up, so the wait never ends just before the deadline and has to be made again.
    const auto left = std::chrono::ceil<milliseconds>(deadline - now).count();
    return static_cast<int>(std::min<std::int64_t>(left, INT_MAX));
}

// The group whose members may use the device; "dialout" when the node is root's alone.
std::string accessGroup(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || info.st_gid == 0) {
        return "dialout";
    }
    group entry{};
    group* found = nullptr;
    char buffer[1024];
    if (::getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || found == nullptr) {
        return "dialout";
    }
    return found->gr_name;
}

std::string qtReason(const QSerialPort& port) {
    return port.errorString().toStdString();
}

}  // namespace

QtSerialPort::QtSerialPort(DeviceResolver resolver) : resolver_(std::move(resolver)) {}

QtSerialPort::~QtSerialPort() {
    close();
}

bool QtSerialPort::isOpen() const {
    return port_ != nullptr && port_->isOpen();
}

void QtSerialPort::close() noexcept {
    if (port_ && port_->isOpen()) {
        port_->close();
    }
    port_.reset();
}

void QtSerialPort::setPortNumber(int number) {
    if (isOpen()) {
        throw PortError("Cannot switch to COM" + std::to_string(number) + " while " + portLabel() +
                        " is open. Close it first.");
    }
    portNumber_ = number;
}

void QtSerialPort::setSettings(const std::string& settings) {
    const auto baud = parseSerialSettings(settings);
    if (!baud) {
        throw PortError("The serial settings \"" + settings + "\" for " + portLabel() +
                        " cannot be used: the printer needs \"<speed>,n,8,1\" (8 data bits, no "
                        "parity, 1 stop bit) with a speed such as 38400. Choose a speed from the "
                        "list.");
    }
    settingsText_ = settings;
    baudRate_ = *baud;
    if (isOpen()) {
        applySettings();
    }
}

std::string QtSerialPort::resolveDevice() const {
    return resolver_ ? resolver_(portNumber_) : "";
}

std::string QtSerialPort::portLabel() const {
    const std::string device = resolveDevice();
    const std::string com = "COM" + std::to_string(portNumber_);
    if (device.empty()) {
        return com;
    }
    // A resolver that names its own device (a path given on the command line) is not COMk.
    return device == serialDeviceForPort(portNumber_) ? com + " (" + device + ")" : device;
}

void QtSerialPort::open() {
    if (isOpen()) {
        return;
    }
    const std::string device = resolveDevice();
    if (device.empty()) {
        throw PortError("There is no serial port COM" + std::to_string(portNumber_) +
                        ". Choose one of COM1 to COM4.");
    }
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(QString::fromStdString(device));
    // Qt locks the port (a lock file and TIOCEXCL) and puts it in raw mode as it opens it.
    if (!port->open(QIODevice::ReadWrite)) {
        port_ = std::move(port);
        failOpen(device);
    }
    port_ = std::move(port);
    try {
        applySettings();
    } catch (...) {
        close();
        throw;
    }
    // A pseudo-terminal or a three-wire adapter has no modem lines: nothing to raise then.
    port_->setDataTerminalReady(true);
    port_->setRequestToSend(false);
    port_->clearError();
}

void QtSerialPort::applySettings() {
    // Set after opening rather than before, so a refusal is told apart from a failed open.
    const bool applied = port_->setBaudRate(baudRate_) && port_->setDataBits(QSerialPort::Data8) &&
                         port_->setParity(QSerialPort::NoParity) &&
                         port_->setStopBits(QSerialPort::OneStop) &&
                         port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) {
        throw PortError(portLabel() + " refused the line settings " + settingsText_ + " (" +
                        qtReason(*port_) + "). Choose another speed, or check that the device " +
                        "is a serial port.");
    }
}

void QtSerialPort::failOpen(const std::string& device) {
    const QSerialPort::SerialPortError error = port_->error();
    const std::string reason = qtReason(*port_);
    close();
    const std::string label = portLabel();
    const std::string path = systemPath(device);

    // Qt folds several causes into one error code, so ask the system what the device is.
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (!exists || error == QSerialPort::DeviceNotFoundError) {
        const std::string variable = "KORVANE_COM" + std::to_string(portNumber_);
        const char* set = std::getenv(variable.c_str());
        std::string advice = "Check the device name and that the adapter is plugged in.";
        if (label != device) {
            advice = set != nullptr && *set != '\0'
                         ? "Check that the adapter is plugged in, or correct " + variable + "."
                         : "Choose another port, or set " + variable +
                               " to your adapter's device (for example /dev/ttyUSB0).";
        }
        throw PortError("The serial port " + label + " does not exist. " + advice);
    }
    if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0 && errno == EACCES) {
        const std::string group = accessGroup(path);
        throw PortError("Permission denied for the serial port " + label + ". Join the " + group +
                        " group (sudo usermod -aG " + group +
                        " $USER), log out and back in, and try again.");
    }
    if (error == QSerialPort::PermissionError) {
        throw PortError("The serial port " + label +
                        " is busy: another program holds it (a terminal program, a modem "
                        "manager or another Korvane). Close that program and try again.");
    }
    if (error == QSerialPort::UnsupportedOperationError) {
        throw PortError(label +
                        " is not a serial port: it takes no line settings. Choose the "
                        "device of a serial port or a USB serial adapter.");
    }
    throw PortError("Cannot open the serial port " + label + ": " + reason +
                    ". Check that the port exists on this computer and try again.");
}

void QtSerialPort::requireOpen(const char* action) const {
    if (!isOpen()) {
        throw PortError(std::string("Cannot ") + action + " the serial port " + portLabel() +
                        ": it is not open.");
    }
}

bool QtSerialPort::hungUp() const {
    pollfd probe{static_cast<int>(port_->handle()), POLLIN, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void QtSerialPort::failIo(const char* action, const std::string& reason) {
    const std::string label = portLabel();
    if (hungUp()) {
        close();
        throw PortError("The serial port " + label +
                        " has gone away (was the USB serial adapter unplugged?). Plug it back "
                        "in and start the download again.");
    }
    close();
    throw PortError(std::string(action) + " the serial port " + label + " failed: " + reason +
                    ". Check the cable and the adapter, then start the download again.");
}

void QtSerialPort::write(std::span<const std::uint8_t> bytes) {
    requireOpen("write to");
    // Straight to the device: Qt's write buffer would add a poll and a notifier switched on and
    // off for every record.
    const int fd = static_cast<int>(port_->handle());
    const auto wireTime =
        milliseconds(static_cast<std::int64_t>(bytes.size()) * 10'000 / baudRate_);
    const auto deadline = steady_clock::now() + wireTime + kWriteGrace;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            failIo("Writing to", std::strerror(errno));
        }
        pollfd ready{fd, POLLOUT, 0};
        const int left = millisecondsUntil(deadline);
        if (::poll(&ready, 1, left) == 0 && left == 0) {
            failIo("Writing to", "the device took no data for " +
                                     std::to_string((wireTime + kWriteGrace).count() / 1000) +
                                     " s");
        }
    }
}

std::vector<std::uint8_t> QtSerialPort::readAll(download::Clock::TimePoint deadline) {
    requireOpen("read from");
    // Bytes Qt took in while the window let events run come first.
    std::vector<std::uint8_t> bytes;
    if (port_->bytesAvailable() > 0) {
        const QByteArray queued = port_->readAll();
        bytes.assign(queued.begin(), queued.end());
    }
    // Straight from the device rather than through waitForReadyRead, whose extra poll, copy and
    // signal showed in the sender's time per record; a hang-up also shows plainly here.
    const int fd = static_cast<int>(port_->handle());
    for (;;) {
        // Once the deadline has passed, one last look: a byte that came in just then counts.
        const int left = bytes.empty() ? millisecondsUntil(deadline) : 0;
        pollfd ready{fd, POLLIN, 0};
        if (::poll(&ready, 1, left) < 0) {
            if (errno == EINTR) {
                continue;
            }
            failIo("Reading from", std::strerror(errno));
        }
        if ((ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            failIo("Reading from", "the device hung up");
        }
        if ((ready.revents & POLLIN) != 0) {
            // The port is raw with no minimum count, so a read returns at once with what waits;
            // a read that does not fill the chunk has taken it all.
            std::uint8_t chunk[4096];
            for (;;) {
                const ssize_t n = ::read(fd, chunk, sizeof chunk);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n < 0 && errno != EAGAIN) {
                    failIo("Reading from", std::strerror(errno));
                }
                if (n == 0) {
                    // End of file on a terminal: the other side is gone.
                    failIo("Reading from", "the device hung up");
                }
                if (n > 0) {
                    bytes.insert(bytes.end(), chunk, chunk + n);
                }
                // A wake-up with nothing to read (EAGAIN) is not an error: poll again.
                if (n < static_cast<ssize_t>(sizeof chunk)) {
                    break;
                }
            }
        }
        if (!bytes.empty() || left == 0) {
            return bytes;
        }
    }
}

}  // namespace korvane::ports
