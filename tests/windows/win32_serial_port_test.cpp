// The Win32 serial adapter under Wine: whole downloads through the engine against
// korvane-printer-sim on a COM port that Wine maps to a pseudo-terminal, the line it sets, and
// what it tells the user when a port cannot be used.
//
// The simulator is a Linux program: the tests start it through sim-at-link.sh (Wine runs Unix
// programs), which points the COM port's link at the simulator's pseudo-terminal. The
// environment names the pieces; without it the tests that need a printer are skipped:
//   KORVANE_TEST_COM        the mapped port, e.g. COM7
//   KORVANE_TEST_COM_LINK   the Unix path that the port is mapped to
//   KORVANE_TEST_SIM        the Unix path of korvane-printer-sim
//   KORVANE_TEST_SIM_SCRIPT the Unix path of sim-at-link.sh
//   KORVANE_TEST_SAMPLES    the Unix path of the sample images
//   KORVANE_TEST_SCRATCH    a Unix folder for the simulator's files
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "download/download_sequence.h"
#include "download/messages.h"
#include "download/port_error.h"
#include "image/record_walk.h"
#include "ports/stop_request.h"
#include "ports/windows/system_text.h"
#include "ports/windows/win32_handle.h"
#include "ports/windows/win32_serial_port.h"
#include "support/null_ports.h"
#include "support/unattended_host.h"

namespace korvane::testing {
namespace {

using download::Outcome;
using download::PortError;
using ports::Win32SerialPort;
using std::chrono::milliseconds;
using std::chrono::steady_clock;
namespace messages = download::messages;

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

void setVariable(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

// A Unix path as Wine's Z: drive shows it.
std::string windowsPath(const std::string& unixPath) {
    return "Z:" + unixPath;
}

std::map<std::string, std::string> readSummary(const std::string& unixPath) {
    std::map<std::string, std::string> values;
    std::ifstream file(windowsPath(unixPath));
    for (std::string line; std::getline(file, line);) {
        if (const auto equals = line.find('='); equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

bool exists(const std::string& unixPath) {
    return ::GetFileAttributesA(windowsPath(unixPath).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The pieces named by the environment, in the order of the list above.
struct Rig {
    std::string com, link, sim, script, samples, scratch;
};

std::optional<Rig> rigFromEnvironment() {
    std::vector<std::string> parts;
    for (const char* name : {"COM", "COM_LINK", "SIM", "SIM_SCRIPT", "SAMPLES", "SCRATCH"}) {
        parts.push_back(variable((std::string("KORVANE_TEST_") + name).c_str()));
        if (parts.back().empty()) {
            return std::nullopt;
        }
    }
    return Rig{parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
}

#define REQUIRE_RIG(rig)                                                          \
    const auto rig##Found = rigFromEnvironment();                                 \
    if (!rig##Found) {                                                            \
        GTEST_SKIP() << "no simulator rig: run through the Windows test harness"; \
    }                                                                             \
    const Rig& rig = *rig##Found

// The simulator on the rig's COM port, for one download; its files are named after `name`.
class Printer {
  public:
    Printer(const Rig& rig, const std::string& name, const std::string& image,
            const std::vector<std::string>& options)
        : summary_(rig.scratch + "/" + name + ".summary"),
          ready_(rig.scratch + "/" + name + ".ready") {
        ::DeleteFileA(windowsPath(summary_).c_str());
        ::DeleteFileA(windowsPath(ready_).c_str());
        std::string command = "/bin/sh \"" + rig.script + "\" \"" + rig.link + "\" \"" + ready_ +
                              "\" \"" + rig.sim + "\" --image \"" + rig.samples + "/" + image +
                              "\" --summary \"" + summary_ + "\"";
        for (const auto& option : options) {
            command += " " + option;
        }
        std::wstring line = ports::wideFromUtf8(command);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process)) {
            throw std::runtime_error("cannot start the simulator: " +
                                     ports::systemErrorText(::GetLastError()));
        }
        // For a Unix program Wine fills `process` with no handles of its own but stale values,
        // which may name one of ours (standard output, once): they are left alone.
        for (int look = 0; look < 1000 && !exists(ready_); ++look) {
            ::Sleep(10);
        }
        if (!exists(ready_)) {
            throw std::runtime_error("the simulator did not come up on " + rig.link);
        }
    }

    // Asks the simulator's chain to end and waits until it has: a test leaves nothing running.
    ~Printer() {
        const std::string done = windowsPath(ready_ + ".done");
        ::CloseHandle(
            ::CreateFileA(done.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        for (int look = 0; look < 1000 && exists(ready_); ++look) {
            ::Sleep(10);
        }
        ::DeleteFileA(done.c_str());
    }

    // The simulator's account of the download, once it has seen the port close.
    std::map<std::string, std::string> summary() const {
        for (int look = 0; look < 2000 && !exists(summary_); ++look) {
            ::Sleep(5);
        }
        return readSummary(summary_);
    }

  private:
    std::string summary_;
    std::string ready_;
};

Win32SerialPort::PortResolver fixed(const std::string& port) {
    return [port](int) { return port; };
}

void openAt(Win32SerialPort& port, const char* speed) {
    port.setPortNumber(1);
    port.setSettings(std::string(speed) + ",n,8,1");
    port.open();
}

DCB readLine(HANDLE handle) {
    DCB line{};
    line.DCBlength = sizeof line;
    EXPECT_TRUE(::GetCommState(handle, &line));
    return line;
}

TEST(Win32SerialPort, TakesTheLineOnlyWithItsFramingAndNoFlowControl) {
    DCB base{};
    base.DCBlength = sizeof base;
    base.BaudRate = 1200;
    base.fOutX = base.fInX = base.fOutxCtsFlow = TRUE;
    base.fRtsControl = RTS_CONTROL_HANDSHAKE;
    const DCB wanted = ports::printerLine(base, 38400);
    struct Row {
        const char* name;
        void (*change)(DCB&);
        bool taken;
    };
    const Row rows[] = {
        {"as asked", [](DCB&) {}, true},
        {"RTS shown raised (no modem lines)", [](DCB& d) { d.fRtsControl = RTS_CONTROL_ENABLE; },
         true},
        {"other speed", [](DCB& d) { d.BaudRate = 9600; }, false},
        {"7 data bits", [](DCB& d) { d.ByteSize = 7; }, false},
        {"even parity", [](DCB& d) { d.Parity = EVENPARITY; }, false},
        {"parity checked", [](DCB& d) { d.fParity = TRUE; }, false},
        {"2 stop bits", [](DCB& d) { d.StopBits = TWOSTOPBITS; }, false},
        {"CTS out-flow", [](DCB& d) { d.fOutxCtsFlow = TRUE; }, false},
        {"DSR out-flow", [](DCB& d) { d.fOutxDsrFlow = TRUE; }, false},
        {"DSR sensitivity", [](DCB& d) { d.fDsrSensitivity = TRUE; }, false},
        {"XON/XOFF out", [](DCB& d) { d.fOutX = TRUE; }, false},
        {"XON/XOFF in", [](DCB& d) { d.fInX = TRUE; }, false},
        {"RTS handshake", [](DCB& d) { d.fRtsControl = RTS_CONTROL_HANDSHAKE; }, false},
        {"RTS toggle", [](DCB& d) { d.fRtsControl = RTS_CONTROL_TOGGLE; }, false},
        {"DTR handshake", [](DCB& d) { d.fDtrControl = DTR_CONTROL_HANDSHAKE; }, false},
        {"error char replaced", [](DCB& d) { d.fErrorChar = TRUE; }, false},
        {"nulls dropped", [](DCB& d) { d.fNull = TRUE; }, false},
        {"abort on error", [](DCB& d) { d.fAbortOnError = TRUE; }, false},
    };
    for (const auto& row : rows) {
        DCB got = wanted;
        row.change(got);
        EXPECT_EQ(ports::lineTaken(wanted, got), row.taken) << row.name;
    }
}

TEST(Win32SerialPort, NamesThePortByChoiceAndMapping) {
    struct Row {
        const char* variable;  // KORVANE_COM2; null: unset
        const char* port;
        const char* label;
    };
    const Row rows[] = {
        {nullptr, "COM2", "COM2"},
        {"", "COM2", "COM2"},
        {"COM7", "COM7", "COM2 (COM7)"},
        {"\\\\.\\COM12", "\\\\.\\COM12", "COM2 (\\\\.\\COM12)"},
    };
    for (const auto& row : rows) {
        setVariable("KORVANE_COM2", row.variable != nullptr ? row.variable : "");
        EXPECT_EQ(ports::windowsPortForNumber(2), row.port);
        Win32SerialPort port;
        port.setPortNumber(2);
        EXPECT_EQ(port.portLabel(), row.label);
    }
    setVariable("KORVANE_COM2", "");
    EXPECT_EQ(Win32SerialPort::forPort("\\\\.\\COM7")->portLabel(), "\\\\.\\COM7");
}

// The message an open gives, with the port closed after it.
std::string openFailure(Win32SerialPort& port, int portNumber = 1) {
    port.setPortNumber(portNumber);
    try {
        port.open();
    } catch (const PortError& error) {
        EXPECT_FALSE(port.isOpen());
        return error.what();
    }
    return "opened";
}

TEST(Win32SerialPort, OpenFailuresSayWhatAndWhatToDo) {
    REQUIRE_RIG(rig);
    setVariable("KORVANE_COM3", "COM198");
    struct Row {
        const char* name;
        std::unique_ptr<Win32SerialPort> port;
        int portNumber;
        std::vector<std::string> says;
    };
    std::vector<Row> rows;
    // Wine does not hold a COM port for its opener; a file held without sharing stands in.
    const std::string held = windowsPath(rig.scratch + "/held");
    const ports::Win32Handle holder(::CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                  nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(holder.valid());
    rows.push_back({"held by another program",
                    Win32SerialPort::forPort("\\\\.\\" + held),
                    1,
                    {"is busy", "another program holds it"}});
    rows.push_back({"missing port",
                    Win32SerialPort::forPort("COM199"),
                    1,
                    {"COM199 does not exist", "on this computer are", rig.com, "plugged in"}});
    rows.push_back({"COM3 mapped to a missing port",
                    std::make_unique<Win32SerialPort>(),
                    3,
                    {"COM3 (COM198) does not exist", rig.com, "correct KORVANE_COM3"}});
    rows.push_back({"no port chosen",
                    std::make_unique<Win32SerialPort>(fixed(rig.com)),
                    0,
                    {"no serial port COM0"}});
    rows.push_back({"beyond COM256",
                    std::make_unique<Win32SerialPort>(fixed(rig.com)),
                    257,
                    {"no serial port COM257"}});
    // What a device that takes no line settings answers decides the words: "not a serial
    // port" for the errors that mean so, else the system's own text of its error.
    const std::string plain = windowsPath(rig.scratch + "/plain");
    ports::Win32Handle(
        ::CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (const std::string& device : {std::string("NUL"), "\\\\.\\" + plain}) {
        const ports::Win32Handle handle(::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE,
                                                      0, nullptr, OPEN_EXISTING, 0, nullptr));
        DCB line{};
        line.DCBlength = sizeof line;
        ASSERT_FALSE(::GetCommState(handle.get(), &line)) << device;
        const DWORD error = ::GetLastError();
        const bool notSerial = error == ERROR_INVALID_FUNCTION ||
                               error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED;
        rows.push_back(
            {"no line settings",
             Win32SerialPort::forPort(device),
             1,
             {device, notSerial ? "is not a serial port" : ports::systemErrorText(error)}});
    }
    for (auto& row : rows) {
        const std::string message = openFailure(*row.port, row.portNumber);
        for (const auto& part : row.says) {
            EXPECT_NE(message.find(part), std::string::npos)
                << row.name << ": \"" << message << "\" lacks \"" << part << '"';
        }
    }
    setVariable("KORVANE_COM3", "");
}

// A second handle on the port while the adapter holds it, which Wine lets in (Windows would
// not), to look at the port from outside.
ports::Win32Handle secondHandle(const Rig& rig) {
    return ports::Win32Handle(::CreateFileW(ports::wideFromUtf8("\\\\.\\" + rig.com).c_str(),
                                            GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            0, nullptr));
}

// The line while the adapter holds the port, and after it has let go.
TEST(Win32SerialPort, SetsThePrinterLineAndPutsTheOldOneBack) {
    REQUIRE_RIG(rig);
    for (const char* speed : {"4800", "9600", "19200", "38400"}) {
        const Printer printer(rig, std::string("line-") + speed, "small.DPX", {});
        const ports::Win32Handle other = secondHandle(rig);
        ASSERT_TRUE(other.valid()) << ports::systemErrorText(::GetLastError());
        DCB before = readLine(other.get());
        before.BaudRate = 1200;
        before.fOutX = before.fInX = TRUE;
        ASSERT_TRUE(::SetCommState(other.get(), &before));
        before = readLine(other.get());
        {
            Win32SerialPort port(fixed(rig.com));
            openAt(port, speed);
            const DCB line = readLine(other.get());
            EXPECT_EQ(line.BaudRate, static_cast<DWORD>(std::stoul(speed)));
            EXPECT_EQ(line.ByteSize, 8) << speed;
            EXPECT_EQ(line.Parity, NOPARITY) << speed;
            EXPECT_EQ(line.StopBits, ONESTOPBIT) << speed;
            EXPECT_TRUE(line.fBinary) << speed;
            for (const auto& [flow, on] : std::initializer_list<std::pair<const char*, bool>>{
                     {"CTS", line.fOutxCtsFlow != 0},
                     {"DSR", line.fOutxDsrFlow != 0},
                     {"DSR sensitivity", line.fDsrSensitivity != 0},
                     {"XON/XOFF out", line.fOutX != 0},
                     {"XON/XOFF in", line.fInX != 0},
                     {"RTS handshake", line.fRtsControl == RTS_CONTROL_HANDSHAKE},
                     {"DTR handshake", line.fDtrControl == DTR_CONTROL_HANDSHAKE}}) {
                EXPECT_FALSE(on) << speed << ": " << flow << " flow control is on";
            }
        }
        const DCB after = readLine(other.get());
        EXPECT_EQ(after.BaudRate, before.BaudRate) << speed;
        EXPECT_EQ(after.fOutX, before.fOutX) << speed;
        EXPECT_EQ(after.fInX, before.fInX) << speed;
    }
}

// The first record of a sample, as the printer expects it.
std::vector<std::uint8_t> firstRecord(const Rig& rig, const char* image) {
    std::ifstream file(windowsPath(rig.samples + "/" + image), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
    const auto record = image::RecordWalker(bytes, image::Transfer::Serial).next();
    return {bytes.begin() + record->start, bytes.begin() + record->start + record->size()};
}

// Waits until the port holds received bytes, as a handle of its own sees them.
void awaitInput(const ports::Win32Handle& other) {
    COMSTAT status{};
    for (int look = 0; status.cbInQue == 0 && look < 10'000; ++look) {
        DWORD errors = 0;
        ::ClearCommError(other.get(), &errors, &status);
        ::Sleep(1);
    }
}

TEST(Win32SerialPort, ReadAllWaitsForTheFirstByteOrTheDeadline) {
    REQUIRE_RIG(rig);
    enum class Send { Nothing, Record, RecordBeforeOpen };
    struct Row {
        const char* name;
        Send send;
        bool ackWaitsFirst;  // the acknowledgement has arrived before the read
        milliseconds deadline;
        std::vector<std::uint8_t> reply;
    };
    const Row rows[] = {
        {"the acknowledgement comes", Send::Record, false, std::chrono::seconds(20), {0x06}},
        {"nothing comes", Send::Nothing, false, milliseconds(300), {}},
        {"deadline already passed", Send::Nothing, false, -std::chrono::seconds(1), {}},
        {"waiting byte at a passed deadline counts",
         Send::Record,
         true,
         -std::chrono::seconds(1),
         {0x06}},
        {"a byte from before the open is dropped",
         Send::RecordBeforeOpen,
         true,
         -std::chrono::seconds(1),
         {}},
    };
    const auto record = firstRecord(rig, "small.DPX");
    for (const auto& row : rows) {
        const Printer printer(rig, "read-" + std::to_string(&row - rows), "small.DPX", {});
        const ports::Win32Handle other = secondHandle(rig);
        if (row.send == Send::RecordBeforeOpen) {
            // Raw, or the terminal would hold the answer back until a line ends.
            DCB raw = ports::printerLine(readLine(other.get()), 38400);
            ASSERT_TRUE(::SetCommState(other.get(), &raw));
            DWORD written = 0;
            ASSERT_TRUE(::WriteFile(other.get(), record.data(), static_cast<DWORD>(record.size()),
                                    &written, nullptr));
            awaitInput(other);
        }
        Win32SerialPort port(fixed(rig.com));
        openAt(port, "38400");
        if (row.send == Send::Record) {
            port.write(record);
            if (row.ackWaitsFirst) {
                awaitInput(other);
            }
        }
        EXPECT_EQ(port.readAll(steady_clock::now() + row.deadline), row.reply) << row.name;
    }
}

// A stop is seen within a slice of the wait, not when the wait runs out: were it not, this
// wait of an hour would hold the test until its time limit.
TEST(Win32SerialPort, AStopRequestEndsTheWait) {
    REQUIRE_RIG(rig);
    const Printer printer(rig, "stop", "small.DPX", {});
    ports::StopRequest stop;
    Win32SerialPort port(fixed(rig.com), &stop);
    openAt(port, "38400");
    std::thread asker([&] {
        std::this_thread::sleep_for(milliseconds(100));
        stop.request(SIGINT);
    });
    EXPECT_THROW(port.readAll(steady_clock::now() + std::chrono::hours(1)),
                 download::DownloadAbandoned);
    asker.join();
}

// Ctrl+C typed in the console reaches the handler on a thread the system starts, which must
// wake the wait and name the key. The event goes to every program on the console, and the
// console the harness gives a program carries its output, so this part runs again in a child
// of this test program that takes a console of its own; its output goes to a file.
TEST(Win32SerialPort, CtrlCInTheConsoleEndsTheWait) {
    REQUIRE_RIG(rig);
    if (variable("KORVANE_TEST_OWN_CONSOLE").empty()) {
        const std::string report = rig.scratch + "/ctrl-c.report";
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        ports::Win32Handle output(::CreateFileW(ports::wideFromUtf8(windowsPath(report)).c_str(),
                                                GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                                CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(output.valid()) << ports::systemErrorText(::GetLastError());
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) +
                            L"\" --gtest_filter=Win32SerialPort.CtrlCInTheConsoleEndsTheWait";
        setVariable("KORVANE_TEST_OWN_CONSOLE", "1");
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output.get();
        PROCESS_INFORMATION child{};
        const bool started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                              nullptr, nullptr, &startup, &child);
        setVariable("KORVANE_TEST_OWN_CONSOLE", "");
        ASSERT_TRUE(started) << ports::systemErrorText(::GetLastError());
        const ports::Win32Handle process(child.hProcess);
        const ports::Win32Handle thread(child.hThread);
        DWORD status = 1;
        EXPECT_EQ(::WaitForSingleObject(process.get(), 60'000), WAIT_OBJECT_0);
        ::GetExitCodeProcess(process.get(), &status);
        std::ifstream file(windowsPath(report));
        const std::string said{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(status, 0U) << said;
        EXPECT_EQ(said.find("[  SKIPPED ]"), std::string::npos) << said;
        return;
    }

    ::FreeConsole();
    ASSERT_TRUE(::AllocConsole()) << ports::systemErrorText(::GetLastError());
    const Printer printer(rig, "ctrl-c", "small.DPX", {});
    ports::StopRequest stop;
    Win32SerialPort port(fixed(rig.com), &stop);
    openAt(port, "38400");
    std::thread typist([] {
        std::this_thread::sleep_for(milliseconds(100));
        EXPECT_TRUE(::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
            << ports::systemErrorText(::GetLastError());
    });
    // Far longer than the stop may take, and short enough to fail rather than time out.
    EXPECT_THROW(port.readAll(steady_clock::now() + std::chrono::seconds(10)),
                 download::DownloadAbandoned);
    typist.join();
    EXPECT_EQ(stop.signal(), SIGINT);
    EXPECT_STREQ(stop.cause(), "Ctrl+C");
}

// The system's notice of a removal, from a given moment on.
class RemovedAt final : public ports::DeviceRemoval {
  public:
    explicit RemovedAt(steady_clock::time_point at) : at_(at) {}
    bool removed() const override { return steady_clock::now() >= at_; }

  private:
    steady_clock::time_point at_;
};

TEST(Win32SerialPort, DownloadsEndAsThePrinterAnswers) {
    REQUIRE_RIG(rig);
    struct Row {
        const char* name;
        const char* image;
        std::vector<std::string> simOptions;
        Outcome outcome;
        const char* ended;  // the simulator's own account of the download
        // The system's notice that the adapter was pulled out, this long after the open.
        std::optional<milliseconds> removal = std::nullopt;
    };
    // Late acknowledgements: within the limit and well beyond it, by margins that a loaded
    // machine does not cross.
    const std::vector<Row> rows = {
        {"whole-demo", "demo.DPX", {}, Outcome::Success, "completed"},
        {"every-byte-value", "high-bytes.DPX", {}, Outcome::Success, "completed"},
        {"empty-record", "empty-record-middle.DPX", {}, Outcome::Success, "completed"},
        {"nak", "small.DPX", {"--nak-at", "2"}, Outcome::PrinterFailed, "fault"},
        {"silence", "small.DPX", {"--silent-from", "2"}, Outcome::PrinterFailed, "fault"},
        {"double-ack", "small.DPX", {"--double-ack-at", "2"}, Outcome::PrinterFailed, "fault"},
        {"late-ack",
         "small.DPX",
         {"--late-ack-at 2 --late-ms 3800"},
         Outcome::Success,
         "completed"},
        {"too-late-ack",
         "small.DPX",
         {"--late-ack-at 2 --late-ms 6500"},
         Outcome::PrinterFailed,
         "sender-left"},
        {"vanished", "small.DPX", {"--vanish-at", "2"}, Outcome::PortError, "vanished"},
        // A driver that answers reads with 0 bytes once its adapter is gone: no error, only
        // the notice, which must end the wait well before its 5 s.
        {"unplugged, reads still succeed",
         "small.DPX",
         {"--silent-from", "1"},
         Outcome::PortError,
         "fault",
         milliseconds(300)},
    };
    for (const auto& row : rows) {
        const Printer printer(rig, row.name, row.image, row.simOptions);
        UnattendedHost host;
        std::optional<steady_clock::time_point> removedAt;
        ports::RemovalWatch watch = ports::watchDeviceRemoval;
        if (row.removal) {
            watch = [&](HANDLE) {
                removedAt = steady_clock::now() + *row.removal;
                return std::make_unique<RemovedAt>(*removedAt);
            };
        }
        Win32SerialPort port(fixed(rig.com), nullptr, watch);
        NullParallelPorts parallel;
        download::SteadyClock clock;
        download::DownloadSequence sequence(host, port, parallel, clock);
        const auto result =
            sequence.run({.firmwarePath = windowsPath(rig.samples + "/" + row.image)});
        EXPECT_FALSE(port.isOpen()) << row.name;
        EXPECT_EQ(result.outcome, row.outcome) << row.name << ": " << result.message;
        if (removedAt) {
            const auto noticed = steady_clock::now() - *removedAt;
            std::cout << row.name << ": ended "
                      << std::chrono::duration_cast<milliseconds>(noticed).count()
                      << " ms after the removal\n";
            EXPECT_LT(noticed, std::chrono::seconds(1)) << row.name;
        }
        ASSERT_EQ(host.messages.size(), 1U) << row.name;
        const std::string& shown = host.messages[0];
        if (row.outcome == Outcome::PortError) {
            EXPECT_NE(shown.find("COM1 (" + rig.com + ") has gone away"), std::string::npos)
                << row.name << ": " << shown;
        } else {
            EXPECT_EQ(shown, row.outcome == Outcome::Success ? messages::kSuccess
                                                             : messages::kSerialTimeout)
                << row.name;
        }
        auto summary = printer.summary();
        EXPECT_EQ(summary["ended"], row.ended) << row.name;
        EXPECT_EQ(summary["mismatches"], "0") << row.name;
        // Nothing after a fault: a sender that took part of a reply as an acknowledgement
        // would go on sending.
        EXPECT_EQ(summary["extra_bytes"], "0") << row.name;
        if (row.outcome == Outcome::Success) {
            EXPECT_EQ(summary["records"], summary["expected_records"]) << row.name;
            EXPECT_EQ(summary["bytes"], summary["expected_bytes"]) << row.name;
        }
    }
}

}  // namespace
}  // namespace korvane::testing
