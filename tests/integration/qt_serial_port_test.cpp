// The Qt serial adapter on pseudo-terminals: what it puts on the line, how it waits, and what
// it tells the user when a device cannot be used.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <optional>
#include <thread>

#include "download/port_error.h"
#include "image/record_walk.h"
#include "ports/qt_serial_port.h"
#include "ports/serial_device_map.h"
#include "ports/serial_settings.h"
#include "serial_test_support.h"

namespace korvane::testing {
namespace {

using download::PortError;
using ports::QtSerialPort;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

struct SettingsRow {
    const char* text;
    std::optional<std::int32_t> baud;
};

TEST(SerialSettings, AcceptsOnlyEightNoneOneAtAWholeSpeed) {
    const SettingsRow rows[] = {
        {"38400,n,8,1", 38400},
        {"4800,n,8,1", 4800},
        {"19200,N,8,1", 19200},
        {"4000000,n,8,1", 4000000},
        {"4000001,n,8,1", {}},
        {"0,n,8,1", {}},
        {"-9600,n,8,1", {}},
        {"+9600,n,8,1", {}},
        {" 9600,n,8,1", {}},
        {"9600 ,n,8,1", {}},
        {"9600.5,n,8,1", {}},
        {"99999999999,n,8,1", {}},
        {",n,8,1", {}},
        {"9600,e,8,1", {}},
        {"9600,n,7,1", {}},
        {"9600,n,8,2", {}},
        {"9600,n,8,1,", {}},
        {"9600", {}},
        {"", {}},
        {"abc,n,8,1", {}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ports::parseSerialSettings(row.text), row.baud) << '"' << row.text << '"';
    }
}

struct MappingRow {
    int port;
    const char* variableValue;  // nullptr: unset
    const char* device;
};

TEST(SerialDeviceMap, UsesTheVariableWhenSetElseTtyS) {
    const MappingRow rows[] = {
        {1, nullptr, "/dev/ttyS0"}, {4, nullptr, "/dev/ttyS3"}, {2, "/dev/ttyUSB0", "/dev/ttyUSB0"},
        {3, "", "/dev/ttyS2"},      {0, nullptr, ""},           {-1, nullptr, ""},
    };
    for (const auto& row : rows) {
        const std::string variable = "KORVANE_COM" + std::to_string(row.port);
        if (row.variableValue != nullptr) {
            ::setenv(variable.c_str(), row.variableValue, 1);
        }
        EXPECT_EQ(ports::serialDeviceForPort(row.port), row.device) << "COM" << row.port;
        ::unsetenv(variable.c_str());
    }
}

// Both ends of a pseudo-terminal, the adapter on the slave side.
class PtyPair {
  public:
    PtyPair() {
        char name[256];
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path_ = name;
    }
    ~PtyPair() {
        closeMaster();
        ::close(slave_);
    }
    const std::string& path() const { return path_; }
    int master() const { return master_; }
    void closeMaster() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    std::vector<std::uint8_t> readMaster(std::size_t count) const {
        std::vector<std::uint8_t> bytes(count);
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::read(master_, bytes.data() + got, count - got);
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }
    void writeMaster(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

QtSerialPort::DeviceResolver fixed(const std::string& path) {
    return [path](int) { return path; };
}

void openAt38400(QtSerialPort& port) {
    port.setPortNumber(1);
    port.setSettings("38400,n,8,1");
    port.open();
}

std::vector<std::uint8_t> readFor(QtSerialPort& port, std::size_t count) {
    std::vector<std::uint8_t> all;
    const auto deadline = steady_clock::now() + std::chrono::seconds(10);
    while (all.size() < count) {
        const auto some = port.readAll(deadline);
        if (some.empty()) {
            break;
        }
        all.insert(all.end(), some.begin(), some.end());
    }
    return all;
}

TEST(QtSerialPort, CarriesEveryByteValueUnchangedBothWays) {
    PtyPair pty;
    QtSerialPort port(fixed(pty.path()));
    openAt38400(port);
    // Every value, so CR, LF, XON, XOFF, ^C and DEL are there: none may be translated or eaten.
    std::vector<std::uint8_t> all(256);
    std::iota(all.begin(), all.end(), 0);
    port.write(all);
    EXPECT_EQ(pty.readMaster(all.size()), all);
    pty.writeMaster(all);
    EXPECT_EQ(readFor(port, all.size()), all);
}

TEST(QtSerialPort, ReadAllTakesEveryWaitingByteInOneCall) {
    PtyPair pty;
    QtSerialPort port(fixed(pty.path()));
    openAt38400(port);
    pty.writeMaster({0x06, 0x06});
    const auto deadline = steady_clock::now() + std::chrono::seconds(10);
    std::this_thread::sleep_for(milliseconds(50));  // both bytes wait before the read
    EXPECT_EQ(port.readAll(deadline), (std::vector<std::uint8_t>{0x06, 0x06}));
}

TEST(QtSerialPort, ReadAllBlocksUntilABytecomesWithoutAnEventLoop) {
    PtyPair pty;
    QtSerialPort port(fixed(pty.path()));
    openAt38400(port);
    std::thread printer([&] {
        std::this_thread::sleep_for(milliseconds(300));
        pty.writeMaster({0x06});
    });
    const auto reply = port.readAll(steady_clock::now() + std::chrono::seconds(20));
    printer.join();
    EXPECT_EQ(reply, std::vector<std::uint8_t>{0x06});
}

TEST(QtSerialPort, ReadAllGivesNothingOnceTheDeadlineHasPassed) {
    PtyPair pty;
    QtSerialPort port(fixed(pty.path()));
    openAt38400(port);
    for (const auto deadline :
         {steady_clock::now() - std::chrono::seconds(1), steady_clock::now() + milliseconds(200)}) {
        EXPECT_TRUE(port.readAll(deadline).empty());
    }
    // A byte that is already waiting counts even at a passed deadline.
    pty.writeMaster({0x06});
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(port.readAll(steady_clock::now() - std::chrono::seconds(1)),
              std::vector<std::uint8_t>{0x06});
}

TEST(QtSerialPort, AHungUpDeviceIsGoneNotSilent) {
    const std::vector<std::pair<const char*, std::function<void(QtSerialPort&)>>> rows = {
        {"read", [](QtSerialPort& p) { p.readAll(steady_clock::now() + std::chrono::hours(1)); }},
        {"write", [](QtSerialPort& p) { p.write(std::vector<std::uint8_t>(64, 'A')); }},
    };
    for (const auto& [name, use] : rows) {
        PtyPair pty;
        QtSerialPort port(fixed(pty.path()));
        openAt38400(port);
        pty.closeMaster();
        try {
            use(port);
            ADD_FAILURE() << name << ": no PortError";
        } catch (const PortError& error) {
            EXPECT_NE(std::string(error.what()).find(pty.path()), std::string::npos) << name;
            EXPECT_NE(std::string(error.what()).find("gone away"), std::string::npos)
                << name << ": " << error.what();
        }
        EXPECT_FALSE(port.isOpen()) << name;
    }
}

TEST(QtSerialPort, HoldsThePortExclusively) {
    PtyPair pty;
    QtSerialPort port(fixed(pty.path()));
    openAt38400(port);
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
    ::close(other);
    EXPECT_EQ(exclusive, 1);
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_NO_THROW(port.open()) << "reopens after close";
}

std::string openFailure(QtSerialPort& port) {
    try {
        port.open();
    } catch (const PortError& error) {
        EXPECT_FALSE(port.isOpen());
        return error.what();
    }
    return "opened";
}

struct OpenFailureRow {
    const char* name;
    std::function<std::string()> attempt;  // the message the user gets
    std::vector<std::string> says;
};

TEST(QtSerialPort, OpenFailuresSayWhatAndWhatToDo) {
    PtyPair held;
    QtSerialPort holder(fixed(held.path()));
    openAt38400(holder);
    PtyPair locked;
    ASSERT_EQ(::chown(locked.path().c_str(), 65534, 65534), 0);
    const int lockFd = ::open(locked.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::ioctl(lockFd, TIOCEXCL), 0);
    PtyPair closedToOthers;
    ASSERT_EQ(::chmod(closedToOthers.path().c_str(), 0600), 0);

    const std::vector<OpenFailureRow> rows = {
        {"missing path",
         [] {
             QtSerialPort port(fixed("/nonexistent/ttyKORVANE"));
             return openFailure(port);
         },
         {"/nonexistent/ttyKORVANE", "does not exist", "plugged in"}},
        {"COM100 is /dev/ttyS99",
         [] {
             QtSerialPort port;
             port.setPortNumber(100);
             return openFailure(port);
         },
         {"COM100 (/dev/ttyS99)", "does not exist", "KORVANE_COM100"}},
        {"no port chosen",
         [] {
             QtSerialPort port;
             port.setPortNumber(0);
             return openFailure(port);
         },
         {"no serial port COM0"}},
        {"not a serial device",
         [] {
             QtSerialPort port(fixed("/dev/null"));
             return openFailure(port);
         },
         {"/dev/null", "not a serial port"}},
        {"held by another Korvane",
         [&] {
             QtSerialPort port(fixed(held.path()));
             return openFailure(port);
         },
         {held.path(), "busy", "another program"}},
        {"held by a program with TIOCEXCL",
         [&] {
             return runAsNobody([&] {
                 QtSerialPort port(fixed(locked.path()));
                 return openFailure(port);
             });
         },
         {locked.path(), "busy", "another program"}},
        {"no permission",
         [&] {
             return runAsNobody([&] {
                 QtSerialPort port(fixed(closedToOthers.path()));
                 return openFailure(port);
             });
         },
         {closedToOthers.path(), "Permission denied", "usermod -aG"}},
        {"settings text",
         [] {
             QtSerialPort port(fixed("/dev/null"));
             try {
                 port.setSettings("38400,e,7,1");
             } catch (const PortError& error) {
                 return std::string(error.what());
             }
             return std::string("accepted");
         },
         {"\"38400,e,7,1\"", "/dev/null", "n,8,1"}},
    };
    for (const auto& row : rows) {
        const std::string message = row.attempt();
        for (const auto& part : row.says) {
            EXPECT_NE(message.find(part), std::string::npos)
                << row.name << ": \"" << message << "\" lacks \"" << part << '"';
        }
    }
    ::close(lockFd);
}

// Sends an image record by record straight through the adapter, as a printer sees a download.
void sendImage(QtSerialPort& port, const std::vector<std::uint8_t>& image) {
    image::RecordWalker walker(image, image::Transfer::Serial);
    while (const auto record = walker.next()) {
        port.write(std::span(image).subspan(static_cast<std::size_t>(record->start),
                                            static_cast<std::size_t>(record->size())));
        ASSERT_EQ(port.readAll(steady_clock::now() + std::chrono::seconds(5)),
                  std::vector<std::uint8_t>{0x06})
            << "record at " << record->start;
    }
}

TEST(QtSerialPort, SimulatedPrinterReceivesWholeImages) {
    const char* const images[] = {"demo.DPX",
                                  "small.DPX",
                                  "high-bytes.DPX",
                                  "empty-record-middle.DPX",
                                  "starts-with-crlf.DPX",
                                  "cr-final-byte-last.DPX"};
    for (const char* name : images) {
        ScratchDir dir;
        const auto image = sampleImage(name);
        const auto summary = dir.file("summary");
        tools::SimProcess sim(printerSimProgram(),
                              {"--image", image.string(), "--summary", summary.string()});
        {
            QtSerialPort port(fixed(sim.devicePath()));
            openAt38400(port);
            sendImage(port, readBytes(image));
        }
        EXPECT_EQ(sim.wait(std::chrono::seconds(30)), 0) << name;
        auto values = tools::readSimSummary(summary.string());
        EXPECT_EQ(values["ended"], "completed") << name;
        EXPECT_EQ(values["mismatches"], "0") << name;
        EXPECT_EQ(values["records"], values["expected_records"]) << name;
        EXPECT_EQ(values["bytes"], values["expected_bytes"]) << name;
    }
}

}  // namespace
}  // namespace korvane::testing
