#include "ports/linux/termios_serial_port.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "download/host.h"
#include "download/port_error.h"
#include "ports/environment_variable.h"
#include "ports/stop_request.h"

namespace korvane::ports {
namespace {

using download::PortError;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// A write that the device has not taken after the wire time of its bytes and this much more
// has stalled: with no flow control a working line always drains.
constexpr milliseconds kWriteGrace{5000};
// At close, bytes still on their way out get this long before the old settings come back, so
// a changed speed does not garble them.
constexpr milliseconds kDrainAtClose{500};

// Where a bare port name such as "ttyUSB0" lives.
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

std::optional<speed_t> speedCode(std::int32_t baud) {
    static constexpr std::pair<std::int32_t, speed_t> kSpeeds[] = {
        {50, B50},           {75, B75},           {110, B110},         {134, B134},
        {150, B150},         {200, B200},         {300, B300},         {600, B600},
        {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
        {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
        {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
        {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
        {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
        {3500000, B3500000}, {4000000, B4000000},
    };
    for (const auto& [rate, code] : kSpeeds) {
        if (rate == baud) {
            return code;
        }
    }
    return std::nullopt;
}

// The fields we set, so that a driver that quietly ignores one is caught on the read-back.
bool sameLine(const termios& wanted, const termios& got) {
    constexpr tcflag_t kControl = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    constexpr tcflag_t kInput = IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP;
    constexpr tcflag_t kLocal = ICANON | ECHO | ISIG | IEXTEN;
    return (wanted.c_cflag & kControl) == (got.c_cflag & kControl) &&
           (wanted.c_iflag & kInput) == (got.c_iflag & kInput) &&
           (wanted.c_lflag & kLocal) == (got.c_lflag & kLocal) && (got.c_oflag & OPOST) == 0 &&
           cfgetospeed(&wanted) == cfgetospeed(&got) && cfgetispeed(&wanted) == cfgetispeed(&got);
}

}  // namespace

TermiosSerialPort::TermiosSerialPort(DeviceResolver resolver, const StopRequest* stop)
    : choice_(std::move(resolver)), stop_(stop) {}

std::unique_ptr<TermiosSerialPort> TermiosSerialPort::forDevice(std::string device,
                                                                const StopRequest* stop) {
    auto port = std::make_unique<TermiosSerialPort>(DeviceResolver{}, stop);
    port->choice_ = SerialPortChoice::pinnedTo(std::move(device));
    return port;
}

TermiosSerialPort::~TermiosSerialPort() {
    close();
}

void TermiosSerialPort::setPortNumber(int number) {
    choice_.setPortNumber(number, isOpen());
}

void TermiosSerialPort::setSettings(const std::string& settings) {
    choice_.setSettings(settings);
    if (isOpen()) {
        applySettings();
    }
}

std::string TermiosSerialPort::portLabel() const {
    return choice_.label();
}

void TermiosSerialPort::open() {
    if (isOpen()) {
        return;
    }
    const std::string device = choice_.port();
    if (device.empty()) {
        const int number = choice_.portNumber();
        const std::string com = "COM" + std::to_string(number);
        if (number >= 1 && number <= 4) {
            throw PortError("No serial device on this computer is " + com +
                            ". Plug in the adapter, choose another port, or set KORVANE_" + com +
                            " to the adapter's device (korvane-cli ports lists the devices).");
        }
        throw PortError("There is no serial port " + com + ". Choose one of COM1 to COM4.");
    }
    const std::string path = systemPath(device);
    // Every name of a device (by-id links, other links) shares the lock of its real path.
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::canonical(path, ec);
    if (ec) {
        failOpen(path, ec.value());
    }
    const std::string label = portLabel();
    auto lock = std::make_unique<DeviceLock>(canonical, label);

    FileDescriptor fd(::open(canonical.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        failOpen(path, errno);
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        failOpen(path, errno == EWOULDBLOCK ? EBUSY : errno);
    }
    termios saved{};
    if (::tcgetattr(fd.get(), &saved) != 0) {
        throw PortError(label +
                        " is not a serial port: it takes no line settings. Choose the "
                        "device of a serial port or a USB serial adapter.");
    }
    // Another program that opens the device now is refused (root excepted).
    ::ioctl(fd.get(), TIOCEXCL);

    fd_ = std::move(fd);
    lock_ = std::move(lock);
    savedSettings_ = saved;
    try {
        applySettings();
    } catch (...) {
        close();
        throw;
    }
    askLowLatency();
    // A pseudo-terminal or a three-wire adapter has no modem lines: nothing to set then.
    const int dtr = TIOCM_DTR;
    const int rts = TIOCM_RTS;
    ::ioctl(fd_.get(), TIOCMBIS, &dtr);
    ::ioctl(fd_.get(), TIOCMBIC, &rts);
    // Bytes the adapter held from before the open must not pass for the first answer.
    ::tcflush(fd_.get(), TCIFLUSH);
}

void TermiosSerialPort::applySettings() {
    const auto speed = speedCode(choice_.baudRate());
    termios wanted = *savedSettings_;
    ::cfmakeraw(&wanted);
    wanted.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    wanted.c_cflag |= CS8 | CLOCAL | CREAD;
    wanted.c_iflag &= ~(IXON | IXOFF | IXANY);
    // Reads return at once with whatever waits; the waiting is done in poll().
    wanted.c_cc[VMIN] = 0;
    wanted.c_cc[VTIME] = 0;
    termios got{};
    const bool applied = speed && ::cfsetospeed(&wanted, *speed) == 0 &&
                         ::cfsetispeed(&wanted, *speed) == 0 &&
                         ::tcsetattr(fd_.get(), TCSANOW, &wanted) == 0 &&
                         ::tcgetattr(fd_.get(), &got) == 0 && sameLine(wanted, got);
    if (!applied) {
        const int error = errno;
        throw PortError(portLabel() + " refused the line settings " + choice_.settingsText() +
                        " (" + (speed ? std::string(std::strerror(error)) : "no such speed") +
                        "). Choose another speed, or check that the device is a serial port.");
    }
}

void TermiosSerialPort::askLowLatency() {
    lowLatencyAsked_ = false;
    serial_struct serial{};
    if (::ioctl(fd_.get(), TIOCGSERIAL, &serial) != 0) {
        return;  // not a driver with serial flags (a pseudo-terminal, for one)
    }
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) {
        lowLatencyAsked_ = true;
        return;
    }
    const int before = serial.flags;
    serial.flags |= ASYNC_LOW_LATENCY;
    // A driver that refuses is no reason not to send: it is only slower.
    if (::ioctl(fd_.get(), TIOCSSERIAL, &serial) == 0) {
        savedSerialFlags_ = before;
        lowLatencyAsked_ = true;
    }
}

void TermiosSerialPort::restoreDevice() noexcept {
    const int fd = fd_.get();
    const auto drainDeadline = steady_clock::now() + kDrainAtClose;
    for (int queued = 0; ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0 &&
                         steady_clock::now() < drainDeadline;) {
        ::usleep(1000);
    }
    ::tcflush(fd, TCIOFLUSH);
    if (savedSerialFlags_) {
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) == 0) {
            serial.flags = *savedSerialFlags_;
            ::ioctl(fd, TIOCSSERIAL, &serial);
        }
    }
    if (savedSettings_) {
        ::tcsetattr(fd, TCSANOW, &*savedSettings_);
    }
}

void TermiosSerialPort::close() noexcept {
    if (isOpen()) {
        restoreDevice();
        ::ioctl(fd_.get(), TIOCNXCL);
    }
    fd_.reset();
    lock_.reset();
    savedSettings_.reset();
    savedSerialFlags_.reset();
    choice_.forget();
}

void TermiosSerialPort::failOpen(const std::string& path, int error) {
    const std::string label = portLabel();
    close();
    if (error == ENOENT || error == ENODEV || error == ENXIO) {
        std::string advice = "Check the device name and that the adapter is plugged in.";
        if (!choice_.pinned()) {
            const std::string variable = "KORVANE_COM" + std::to_string(choice_.portNumber());
            advice = environmentVariable(variable)
                         ? "Check that the adapter is plugged in, or correct " + variable + "."
                         : "Choose another port, or set " + variable +
                               " to your adapter's device (for example /dev/ttyUSB0).";
        }
        throw PortError("The serial port " + label + " does not exist. " + advice);
    }
    if (error == EACCES || error == EPERM) {
        const std::string group = accessGroup(path);
        throw PortError("Permission denied for the serial port " + label + ". Join the " + group +
                        " group (sudo usermod -aG " + group +
                        " $USER), log out and back in, and try again.");
    }
    if (error == EBUSY) {
        throw PortError("The serial port " + label +
                        " is busy: another program holds it open exclusively (a terminal "
                        "program, a modem manager or another Korvane). Close that program and "
                        "try again.");
    }
    if (error == EIO) {
        throw PortError("The serial port " + label +
                        " does not answer: there is no UART behind this device (" +
                        std::strerror(error) +
                        "). Choose the port your adapter is on (korvane-cli ports lists them).");
    }
    throw PortError("Cannot open the serial port " + label + ": " + std::strerror(error) +
                    ". Check that the port exists on this computer and try again.");
}

bool TermiosSerialPort::hungUp() const {
    pollfd probe{fd_.get(), POLLIN, 0};
    return ::poll(&probe, 1, 0) > 0 && (probe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void TermiosSerialPort::failIo(const char* action, const std::string& reason) {
    const int error = errno;
    const std::string label = portLabel();
    const bool gone = error == EIO || error == ENODEV || error == ENXIO || hungUp();
    close();
    if (gone) {
        throw PortError("The serial port " + label +
                        " has gone away (was the USB serial adapter unplugged?). Plug it back "
                        "in and start the download again.");
    }
    throw PortError(std::string(action) + " the serial port " + label + " failed: " + reason +
                    ". Check the cable and the adapter, then start the download again.");
}

void TermiosSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) {
        throw PortError("Cannot write to the serial port " + portLabel() + ": it is not open.");
    }
    const int fd = fd_.get();
    const auto wireTime =
        milliseconds(static_cast<std::int64_t>(bytes.size()) * 10'000 / choice_.baudRate());
    const auto deadline = steady_clock::now() + wireTime + kWriteGrace;
    // A stop request is not looked at here: a record goes out whole or not at all.
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
            errno = 0;
            failIo("Writing to", "the device took no data for " +
                                     std::to_string((wireTime + kWriteGrace).count() / 1000) +
                                     " s");
        }
        if ((ready.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            failIo("Writing to", "the device hung up");
        }
    }
}

std::vector<std::uint8_t> TermiosSerialPort::readAll(download::Clock::TimePoint deadline) {
    if (!isOpen()) {
        throw PortError("Cannot read from the serial port " + portLabel() + ": it is not open.");
    }
    const int fd = fd_.get();
    std::vector<std::uint8_t> bytes;
    for (;;) {
        // Once the deadline has passed, one last look: a byte that came in just then counts.
        const int left = millisecondsUntil(deadline);
        pollfd ready[2] = {{fd, POLLIN, 0},
                           {stop_ ? static_cast<int>(stop_->nativeWaitHandle()) : -1, POLLIN, 0}};
        if (::poll(ready, 2, left) < 0) {
            if (errno == EINTR) {
                continue;
            }
            failIo("Reading from", std::strerror(errno));
        }
        if (stop_ && stop_->requested()) {
            throw download::DownloadAbandoned();
        }
        if ((ready[0].revents & POLLIN) != 0) {
            // Raw with no minimum count: a read returns at once with what waits, and a read
            // that does not fill the chunk has taken it all.
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
                    errno = EIO;
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
        } else if ((ready[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            failIo("Reading from", "the device hung up");
        }
        if (!bytes.empty() || left == 0) {
            return bytes;
        }
    }
}

}  // namespace korvane::ports
