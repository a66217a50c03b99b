#include "ports/windows/win32_serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "download/host.h"
#include "download/port_error.h"
#include "ports/environment_variable.h"
#include "ports/port_names.h"
#include "ports/stop_request.h"
#include "ports/windows/system_text.h"

namespace korvane::ports {
namespace {

using download::PortError;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The longest single wait in ReadFile: a stop request is looked at between waits.
constexpr DWORD kStopSliceMs = 200;
// A write that the port has not taken after the wire time of its bytes and this much more has
// stalled: with no flow control a working line always drains.
constexpr DWORD kWriteGraceMs = 5000;
// At close, bytes still on their way out get this long before the old settings come back, so
// a changed speed does not garble them.
constexpr milliseconds kDrainAtClose{500};

constexpr const char* kDevicePrefix = "\\\\.\\";

// "\\.\COM7" for "COM7": without the prefix CreateFile finds only COM1 to COM9.
std::string devicePath(const std::string& name) {
    return name.starts_with(kDevicePrefix) ? name : kDevicePrefix + name;
}

DWORD millisecondsUntil(steady_clock::time_point deadline) {
    const auto now = steady_clock::now();
    if (deadline <= now) {
        return 0;
    }
    // Rounded up, so the wait never ends just before the deadline and has to be made again.
    const auto left = std::chrono::ceil<milliseconds>(deadline - now).count();
    // MAXDWORD itself means "no limit" to some fields of COMMTIMEOUTS.
    return static_cast<DWORD>(std::min<std::int64_t>(left, MAXDWORD - 1));
}

// Errors with which the system says that the device behind an open handle has left.
bool meansGone(DWORD error) {
    switch (error) {
        case ERROR_NOT_READY:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_ACCESS_DENIED:
        case ERROR_FILE_NOT_FOUND:
        // What USB serial drivers return once their device was pulled out.
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_BAD_UNIT:
        case ERROR_DEVICE_NOT_AVAILABLE:
            return true;
        default:
            return false;
    }
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + name;
    }
    return text;
}

}  // namespace

std::string windowsPortForNumber(int k) {
    const std::string com = "COM" + std::to_string(k);
    return environmentVariable("KORVANE_" + com).value_or(com);
}

std::vector<std::string> registeredComPorts() {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t value[256];
        DWORD valueBytes = sizeof value - sizeof(wchar_t);
        DWORD type = 0;
        const LONG status = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(value), &valueBytes);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        std::wstring_view port(value, valueBytes / sizeof(wchar_t));
        while (!port.empty() && port.back() == L'\0') {
            port.remove_suffix(1);
        }
        if (!port.empty()) {
            ports.push_back(utf8FromWide(port));
        }
    }
    ::RegCloseKey(key);
    // COM2 before COM10; names of another form after the numbered ones.
    std::sort(ports.begin(), ports.end(), [](const std::string& a, const std::string& b) {
        const auto na = comNumber(a);
        const auto nb = comNumber(b);
        if (na && nb) {
            return *na < *nb;
        }
        return na.has_value() != nb.has_value() ? na.has_value() : a < b;
    });
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

DCB printerLine(const DCB& base, DWORD baud) {
    DCB line = base;
    line.DCBlength = sizeof line;
    line.BaudRate = baud;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_DISABLE;
    line.fAbortOnError = FALSE;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    // Unused without XON/XOFF, but the system refuses a DCB in which the two are the same.
    line.XonChar = 0x11;
    line.XoffChar = 0x13;
    return line;
}

bool lineTaken(const DCB& wanted, const DCB& got) {
    return wanted.BaudRate == got.BaudRate && wanted.ByteSize == got.ByteSize &&
           wanted.Parity == got.Parity && wanted.StopBits == got.StopBits &&
           wanted.fBinary == got.fBinary && wanted.fParity == got.fParity &&
           wanted.fOutxCtsFlow == got.fOutxCtsFlow && wanted.fOutxDsrFlow == got.fOutxDsrFlow &&
           wanted.fDsrSensitivity == got.fDsrSensitivity && wanted.fOutX == got.fOutX &&
           wanted.fInX == got.fInX && wanted.fErrorChar == got.fErrorChar &&
           wanted.fNull == got.fNull && wanted.fAbortOnError == got.fAbortOnError &&
           got.fDtrControl != DTR_CONTROL_HANDSHAKE && got.fRtsControl != RTS_CONTROL_HANDSHAKE &&
           got.fRtsControl != RTS_CONTROL_TOGGLE;
}

Win32SerialPort::Win32SerialPort(PortResolver resolver, const StopRequest* stop,
                                 RemovalWatch watchRemoval)
    : choice_(std::move(resolver)), stop_(stop), watchRemoval_(std::move(watchRemoval)) {}

std::unique_ptr<Win32SerialPort> Win32SerialPort::forPort(std::string name, const StopRequest* stop,
                                                          RemovalWatch watchRemoval) {
    auto port = std::make_unique<Win32SerialPort>(PortResolver{}, stop, std::move(watchRemoval));
    port->choice_ = SerialPortChoice::pinnedTo(std::move(name));
    return port;
}

Win32SerialPort::~Win32SerialPort() {
    close();
}

void Win32SerialPort::setPortNumber(int number) {
    choice_.setPortNumber(number, isOpen());
}

void Win32SerialPort::setSettings(const std::string& settings) {
    choice_.setSettings(settings);
    if (isOpen()) {
        applySettings();
    }
}

std::string Win32SerialPort::portLabel() const {
    return choice_.label();
}

void Win32SerialPort::open() {
    if (isOpen()) {
        return;
    }
    const std::string port = choice_.port();
    const int number = choice_.portNumber();
    if (port.empty() || (!choice_.pinned() && (number < 1 || number > highestComChoice()))) {
        throw PortError("There is no serial port COM" + std::to_string(number) +
                        ". Choose one of COM1 to COM4.");
    }
    // Share mode 0: no other program may open the port while we hold it.
    Win32Handle handle(::CreateFileW(wideFromUtf8(devicePath(port)).c_str(),
                                     GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                     nullptr));
    if (!handle.valid()) {
        failOpen(::GetLastError());
    }
    // A line error left pending from before, with abort-on-error set, makes the driver refuse
    // every other request until it is cleared.
    DWORD pending = 0;
    ::ClearCommError(handle.get(), &pending, nullptr);
    DCB saved{};
    saved.DCBlength = sizeof saved;
    if (!::GetCommState(handle.get(), &saved)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_INVALID_FUNCTION || error == ERROR_INVALID_PARAMETER ||
            error == ERROR_NOT_SUPPORTED) {
            throw PortError(portLabel() +
                            " is not a serial port: it takes no line settings. Choose the port "
                            "of a serial card or a USB serial adapter (korvane-cli ports lists "
                            "them).");
        }
        throw PortError("Cannot read the line settings of the serial port " + portLabel() + ": " +
                        systemErrorText(error) +
                        ". Check that the adapter is plugged in and try again.");
    }
    COMMTIMEOUTS savedTimeouts{};
    const bool timeoutsKnown = ::GetCommTimeouts(handle.get(), &savedTimeouts);

    handle_ = std::move(handle);
    savedLine_ = saved;
    if (timeoutsKnown) {
        savedTimeouts_ = savedTimeouts;
    }
    try {
        applySettings();
        setTimeouts(MAXDWORD, 0);
        // Bytes the adapter held from before the open must not pass for the first answer.
        ::PurgeComm(handle_.get(), PURGE_RXABORT | PURGE_RXCLEAR);
        removal_ = watchRemoval_ ? watchRemoval_(handle_.get()) : nullptr;
    } catch (...) {
        close();
        throw;
    }
}

void Win32SerialPort::applySettings() {
    const DCB wanted = printerLine(*savedLine_, static_cast<DWORD>(choice_.baudRate()));
    DCB got{};
    got.DCBlength = sizeof got;
    std::string reason;
    if (!::SetCommState(handle_.get(), const_cast<DCB*>(&wanted))) {
        reason = systemErrorText(::GetLastError());
    } else if (!::GetCommState(handle_.get(), &got)) {
        reason = "they cannot be read back: " + systemErrorText(::GetLastError());
    } else if (!lineTaken(wanted, got)) {
        reason = "the port reports other settings back";
    }
    if (!reason.empty()) {
        throw PortError(portLabel() + " refused the line settings " + choice_.settingsText() +
                        " (" + reason +
                        "). Choose another speed, or check that the port is a serial port.");
    }
}

// Reads end after `readTotalMs`, or with the bytes already waiting when the interval is MAXDWORD
// and the total 0. Writes get the wire time of their bytes and a grace.
void Win32SerialPort::setTimeouts(DWORD readIntervalMs, DWORD readTotalMs) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = readIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = readTotalMs;
    timeouts.WriteTotalTimeoutMultiplier =
        static_cast<DWORD>((10'000 + choice_.baudRate() - 1) / choice_.baudRate());
    timeouts.WriteTotalTimeoutConstant = kWriteGraceMs;
    // Under Wine every call on the port is a trip through the wine server: the slice is
    // mostly the same from record to record, so it is set only when it changes.
    if (timeouts_ && std::memcmp(&*timeouts_, &timeouts, sizeof timeouts) == 0) {
        return;
    }
    timeouts_.reset();
    if (!::SetCommTimeouts(handle_.get(), &timeouts)) {
        failIo("Waiting on", ::GetLastError());
    }
    timeouts_ = timeouts;
}

void Win32SerialPort::restorePort() noexcept {
    const HANDLE handle = handle_.get();
    const auto drainDeadline = steady_clock::now() + kDrainAtClose;
    for (;;) {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status) || status.cbOutQue == 0 ||
            steady_clock::now() >= drainDeadline) {
            break;
        }
        ::Sleep(1);
    }
    ::PurgeComm(handle, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    if (savedLine_) {
        ::SetCommState(handle, &*savedLine_);
    }
    if (savedTimeouts_) {
        ::SetCommTimeouts(handle, &*savedTimeouts_);
    }
}

void Win32SerialPort::close() noexcept {
    if (isOpen()) {
        restorePort();
    }
    removal_.reset();
    handle_.reset();
    choice_.forget();
    savedLine_.reset();
    savedTimeouts_.reset();
    timeouts_.reset();
}

void Win32SerialPort::failOpen(DWORD error) {
    const std::string label = portLabel();
    close();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
        error == ERROR_INVALID_NAME || error == ERROR_BAD_PATHNAME) {
        const auto ports = registeredComPorts();
        const std::string known =
            ports.empty() ? "This computer has no serial ports."
                          : "The serial ports on this computer are " + joined(ports) + ".";
        std::string advice = "Check the port name and that the adapter is plugged in.";
        if (!choice_.pinned()) {
            const std::string variable = "KORVANE_COM" + std::to_string(choice_.portNumber());
            advice = environmentVariable(variable)
                         ? "Check that the adapter is plugged in, or correct " + variable + "."
                         : "Choose another port, or set " + variable +
                               " to your adapter's port (for example COM7).";
        }
        throw PortError("The serial port " + label + " does not exist. " + known + " " + advice);
    }
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
        throw PortError("The serial port " + label +
                        " is busy: another program holds it open (a terminal program, a modem "
                        "or another Korvane). Close that program and try again.");
    }
    throw PortError("Cannot open the serial port " + label + ": " + systemErrorText(error) +
                    ". Check that the adapter is plugged in and try again.");
}

void Win32SerialPort::failIo(const char* action, DWORD error) {
    const std::string label = portLabel();
    close();
    if (meansGone(error)) {
        throw PortError("The serial port " + label +
                        " has gone away (was the USB serial adapter unplugged?): " +
                        systemErrorText(error) + ". Plug it back in and start the download again.");
    }
    throw PortError(std::string(action) + " the serial port " + label +
                    " failed: " + systemErrorText(error) +
                    ". Check the cable and the adapter, then start the download again.");
}

void Win32SerialPort::failIfRemoved(const char* action) {
    if (removal_ && removal_->removed()) {
        failIo(action, ERROR_DEVICE_NOT_CONNECTED);
    }
}

void Win32SerialPort::write(std::span<const std::uint8_t> bytes) {
    if (!isOpen()) {
        throw PortError("Cannot write to the serial port " + portLabel() + ": it is not open.");
    }
    // A stop request is not looked at here: a record goes out whole or not at all.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 65536));
        DWORD written = 0;
        if (!::WriteFile(handle_.get(), bytes.data() + done, chunk, &written, nullptr)) {
            failIo("Writing to", ::GetLastError());
        }
        if (written == 0) {
            // The write time-out ran out with nothing taken.
            failIo("Writing to", ERROR_TIMEOUT);
        }
        done += written;
    }
    failIfRemoved("Writing to");
}

DWORD Win32SerialPort::readSome(std::uint8_t* into, DWORD count) {
    DWORD got = 0;
    if (!::ReadFile(handle_.get(), into, count, &got, nullptr)) {
        failIo("Reading from", ::GetLastError());
    }
    return got;
}

// Bytes received and not yet read. It also asks the port whether it is still there: after a
// device has left, ClearCommError fails.
DWORD Win32SerialPort::waitingCount() {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(handle_.get(), &errors, &status)) {
        failIo("Reading from", ::GetLastError());
    }
    return status.cbInQue;
}

std::vector<std::uint8_t> Win32SerialPort::takeWaiting() {
    const DWORD waiting = waitingCount();
    if (waiting == 0) {
        return {};
    }
    setTimeouts(MAXDWORD, 0);
    std::vector<std::uint8_t> bytes(waiting);
    bytes.resize(readSome(bytes.data(), waiting));
    return bytes;
}

std::vector<std::uint8_t> Win32SerialPort::readAll(download::Clock::TimePoint deadline) {
    if (!isOpen()) {
        throw PortError("Cannot read from the serial port " + portLabel() + ": it is not open.");
    }
    for (;;) {
        if (stop_ && stop_->requested()) {
            throw download::DownloadAbandoned();
        }
        failIfRemoved("Reading from");
        // Once the deadline has passed, one last look: a byte that came in just then counts.
        const DWORD left = millisecondsUntil(deadline);
        if (left == 0) {
            return takeWaiting();
        }
        // ReadFile blocks until the first byte or the end of the slice; what came with or
        // after that byte is taken at once, so that the reply is everything that waits.
        setTimeouts(0, std::min(left, kStopSliceMs));
        std::uint8_t first = 0;
        if (readSome(&first, 1) == 1) {
            std::vector<std::uint8_t> reply = takeWaiting();
            reply.insert(reply.begin(), first);
            return reply;
        }
        if (waitingCount() > 0) {
            return takeWaiting();
        }
    }
}

}  // namespace korvane::ports
