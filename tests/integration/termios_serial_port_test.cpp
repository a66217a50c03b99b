// The serial adapter on pseudo-terminals: what it puts on the line, how it waits, and what
// it tells the user when a device cannot be used.
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <thread>

#include "download/host.h"
#include "download/port_error.h"
#include "image/record_walk.h"
#include "ports/linux/device_lock.h"
#include "ports/linux/serial_device_map.h"
#include "ports/linux/termios_serial_port.h"
#include "ports/serial_settings.h"
#include "ports/stop_request.h"
#include "serial_test_support.h"

namespace korvane::testing {
namespace {

using download::PortError;
using ports::TermiosSerialPort;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SerialSettings, AcceptsOnlyEightNoneOneAtAWholeSpeed) {
    const std::pair<const char*, std::int32_t> accepted[] = {{"38400,n,8,1", 38400},
                                                             {"4800,n,8,1", 4800},
                                                             {"19200,N,8,1", 19200},
                                                             {"4000000,n,8,1", 4000000}};
    for (const auto& [text, baud] : accepted) {
        EXPECT_EQ(ports::parseSerialSettings(text), baud) << text;
    }
    for (const char* text :
         {"4000001,n,8,1", "0,n,8,1", "-9600,n,8,1", "+9600,n,8,1", " 9600,n,8,1", "9600 ,n,8,1",
          "9600.5,n,8,1", "99999999999,n,8,1", ",n,8,1", "9600,e,8,1", "9600,n,7,1", "9600,n,8,2",
          "9600,n,8,1,", "9600", "", "abc,n,8,1"}) {
        EXPECT_EQ(ports::parseSerialSettings(text), std::nullopt) << '"' << text << '"';
    }
}

// The COMk mapping itself is tested over a fake sysfs tree (tests/ports); here only that the
// adapter takes a pinned device as it is.
TEST(SerialDeviceMap, TakesTheVariableAsItIs) {
    ::setenv("KORVANE_COM2", "/dev/ttyUSB0", 1);
    EXPECT_EQ(ports::serialDeviceForPort(2), "/dev/ttyUSB0");
    ::unsetenv("KORVANE_COM2");
    EXPECT_EQ(ports::serialDeviceForPort(0), "");
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
    // As a port left raw by an earlier program: what reaches it waits there at once.
    void rawSlave() const {
        termios settings{};
        ::tcgetattr(slave_, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(slave_, TCSANOW, &settings);
    }
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
    // Bytes that have reached the adapter's side and wait there to be read.
    int queued() const {
        int count = -1;
        ::ioctl(slave_, FIONREAD, &count);
        return count;
    }
    // Writes, then waits (bounded) until the bytes wait on the adapter's side.
    void send(const std::vector<std::uint8_t>& bytes) const {
        const int before = queued();
        writeMaster(bytes);
        for (int look = 0; look < 10'000 && queued() < before + static_cast<int>(bytes.size());
             ++look) {
            std::this_thread::sleep_for(milliseconds(1));
        }
    }
    void writeMaster(const std::vector<std::uint8_t>& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

std::string readText(const std::filesystem::path& path) {
    const auto bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

TermiosSerialPort::DeviceResolver fixed(const std::string& path) {
    return [path](int) { return path; };
}

void openAt38400(TermiosSerialPort& port) {
    port.setPortNumber(1);
    port.setSettings("38400,n,8,1");
    port.open();
}

std::vector<std::uint8_t> readFor(TermiosSerialPort& port, std::size_t count) {
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

TEST(TermiosSerialPort, CarriesEveryByteValueUnchangedBothWays) {
    PtyPair pty;
    TermiosSerialPort port(fixed(pty.path()));
    openAt38400(port);
    // Every value, so CR, LF, XON, XOFF, ^C and DEL are there: none may be translated or eaten;
    // and more than the adapter reads from the device at once.
    std::vector<std::uint8_t> all(256 * 40);
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<std::uint8_t>(i);
    }
    std::vector<std::uint8_t> atPrinter;
    std::thread printer([&] { atPrinter = pty.readMaster(all.size()); });
    port.write(all);
    printer.join();
    EXPECT_EQ(atPrinter, all);
    pty.writeMaster(all);
    EXPECT_EQ(readFor(port, all.size()), all);
}

TEST(TermiosSerialPort, ReadAllTakesEveryWaitingByteInOneCall) {
    // A double acknowledgement must reach the engine as one reply, so that it is dropped,
    // also when the window's event handling ran in between: nothing but the adapter reads.
    for (const bool windowRanEvents : {false, true}) {
        PtyPair pty;
        TermiosSerialPort port(fixed(pty.path()));
        openAt38400(port);
        pty.send({0x06});
        if (windowRanEvents) {
            QCoreApplication::processEvents();
            ASSERT_EQ(pty.queued(), 1) << "the event handling took the first byte in";
        }
        pty.send({0x06});
        EXPECT_EQ(port.readAll(steady_clock::now() + std::chrono::seconds(10)),
                  (std::vector<std::uint8_t>{0x06, 0x06}))
            << "window ran events: " << windowRanEvents;
    }
}

TEST(TermiosSerialPort, ReadAllWaitsForTheFirstByteOrTheDeadline) {
    struct Row {
        const char* name;
        int byteAfterMs;  // -1: no byte comes; -2: it came before the open
        milliseconds deadline;
        std::vector<std::uint8_t> reply;
    };
    const Row rows[] = {
        {"byte comes later, no event loop", 300, std::chrono::seconds(20), {0x06}},
        {"nothing comes", -1, milliseconds(200), {}},
        {"deadline already passed", -1, -std::chrono::seconds(1), {}},
        {"waiting byte at a passed deadline still counts", 0, -std::chrono::seconds(1), {0x06}},
        {"a byte from before the open is dropped", -2, -std::chrono::seconds(1), {}},
    };
    for (const auto& row : rows) {
        PtyPair pty;
        if (row.byteAfterMs == -2) {
            pty.rawSlave();
            pty.send({0x06});
        }
        TermiosSerialPort port(fixed(pty.path()));
        openAt38400(port);
        if (row.byteAfterMs == 0) {
            pty.send({0x06});
        }
        std::thread printer([&] {
            if (row.byteAfterMs > 0) {
                std::this_thread::sleep_for(milliseconds(row.byteAfterMs));
                pty.writeMaster({0x06});
            }
        });
        EXPECT_EQ(port.readAll(steady_clock::now() + row.deadline), row.reply) << row.name;
        printer.join();
    }
}

// A stop is seen the moment it is asked for, not when the wait runs out: were it not, this
// wait of an hour would hold the test until its time limit.
TEST(TermiosSerialPort, AStopRequestEndsTheWaitAtOnce) {
    PtyPair pty;
    ports::StopRequest stop;
    TermiosSerialPort port(fixed(pty.path()), &stop);
    openAt38400(port);
    std::thread asker([&] {
        std::this_thread::sleep_for(milliseconds(100));
        stop.request(SIGTERM);
    });
    EXPECT_THROW(port.readAll(steady_clock::now() + std::chrono::hours(1)),
                 download::DownloadAbandoned);
    asker.join();
    EXPECT_EQ(stop.signal(), SIGTERM);
}

TEST(DeviceLock, ReadsThePidOfEveryUsualFormat) {
    const std::int32_t binary = 4321;
    const std::pair<std::string, std::optional<pid_t>> rows[] = {
        {"      1234\n", 1234},
        {"1234\n", 1234},
        {"1234", 1234},
        {"1234\nminicom\nhost\n", 1234},
        {std::string(reinterpret_cast<const char*>(&binary), 4), 4321},
        {"", std::nullopt},
        {"   \n", std::nullopt},
        {"0\n", std::nullopt},
        {"-5\n", std::nullopt},
        {"12ab\n", std::nullopt},
        {"99999999999\n", std::nullopt},
    };
    for (const auto& [content, pid] : rows) {
        EXPECT_EQ(ports::parseLockPid(content), pid) << '"' << content << '"';
    }
    EXPECT_EQ(ports::lockFileName("/dev/ttyUSB0"), "LCK..ttyUSB0");
    EXPECT_EQ(ports::lockFileName("/dev/pts/3"), "LCK..pts_3");
}

TEST(DeviceLock, ADeadOwnerNeverBlocksALiveOneAlways) {
    ScratchDir dir;
    const auto folder = dir.file("lock");
    std::filesystem::create_directories(folder);
    ports::LockEnvironment environment;
    environment.folders = {folder};
    environment.alive = [](pid_t pid) { return pid == 111; };
    environment.commandOf = [](pid_t) { return std::string("minicom"); };
    const auto lock = folder / "LCK..ttyS0";
    struct Row {
        const char* name;
        const char* content;
        bool busy;
    };
    const Row rows[] = {
        {"live owner", "       111\n", true},
        {"dead owner", "       222\n", false},
        {"unreadable content", "garbage", false},
        {"no lock", nullptr, false},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(lock);
        if (row.content != nullptr) {
            std::ofstream(lock) << row.content;
        }
        try {
            const ports::DeviceLock held("/dev/ttyS0", "COM1", environment);
            EXPECT_FALSE(row.busy) << row.name;
            EXPECT_EQ(ports::parseLockPid(readText(lock)), ::getpid()) << row.name;
        } catch (const PortError& error) {
            EXPECT_TRUE(row.busy) << row.name << ": " << error.what();
            for (const char* part : {"busy", "111", "minicom", "LCK..ttyS0"}) {
                EXPECT_NE(std::string(error.what()).find(part), std::string::npos)
                    << row.name << ": " << error.what();
            }
        }
        EXPECT_EQ(std::filesystem::exists(lock), row.busy) << row.name << ": left behind";
    }
}

// A lock folder that refuses us is its own fault, not another program holding the port.
TEST(DeviceLock, AFolderThatRefusesUsSaysSo) {
    ScratchDir dir;
    const auto folder = dir.file("lock");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(::chmod(dir.file("").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    const std::string message = runUnprivileged([&] {
        ports::LockEnvironment environment = ports::LockEnvironment::live();
        environment.folders = {folder};
        try {
            const ports::DeviceLock held("/dev/ttyS0", "COM1", environment);
        } catch (const PortError& error) {
            return std::string(error.what());
        }
        return std::string("locked");
    });
    for (const char* part : {"lock folder", folder.c_str(), "chmod 1777"}) {
        EXPECT_NE(message.find(part), std::string::npos) << message;
    }
    EXPECT_EQ(message.find("busy"), std::string::npos) << message;
}

TEST(TermiosSerialPort, AHungUpDeviceIsGoneNotSilent) {
    const std::vector<std::pair<const char*, std::function<void(TermiosSerialPort&)>>> rows = {
        {"read",
         [](TermiosSerialPort& p) { p.readAll(steady_clock::now() + std::chrono::hours(1)); }},
        {"write", [](TermiosSerialPort& p) { p.write(std::vector<std::uint8_t>(64, 'A')); }},
    };
    for (const auto& [name, use] : rows) {
        PtyPair pty;
        TermiosSerialPort port(fixed(pty.path()));
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

TEST(TermiosSerialPort, HoldsThePortExclusively) {
    PtyPair pty;
    TermiosSerialPort port(fixed(pty.path()));
    openAt38400(port);
    // Without root, the second open itself is refused; root passes and asks the flag.
    const int other = ::open(pty.path().c_str(), O_RDWR | O_NOCTTY);
    int exclusive = other < 0 && errno == EBUSY ? 1 : 0;
    if (other >= 0) {
        EXPECT_EQ(::ioctl(other, TIOCGEXCL, &exclusive), 0);
        ::close(other);
    }
    EXPECT_EQ(exclusive, 1);
    port.close();
    EXPECT_FALSE(port.isOpen());
    EXPECT_NO_THROW(port.open()) << "reopens after close";
}

// The message an open gives; COMk by the default mapping when `device` is empty.
std::string openFailure(const std::string& device, int portNumber = 1) {
    auto port = device.empty() ? std::make_unique<TermiosSerialPort>()
                               : TermiosSerialPort::forDevice(device);
    port->setPortNumber(portNumber);
    try {
        port->open();
    } catch (const PortError& error) {
        EXPECT_FALSE(port->isOpen());
        return error.what();
    }
    return "opened";
}

TEST(TermiosSerialPort, OpenFailuresSayWhatAndWhatToDo) {
    PtyPair held;
    TermiosSerialPort holder(fixed(held.path()));
    openAt38400(holder);
    // As root the tests act as "nobody", who must be able to open the device but for the lock.
    const bool root = ::geteuid() == 0;
    PtyPair locked;
    ASSERT_TRUE(!root || ::chown(locked.path().c_str(), 65534, 65534) == 0);
    const int lockFd = ::open(locked.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::ioctl(lockFd, TIOCEXCL), 0);
    PtyPair closedToOthers;
    ASSERT_EQ(::chmod(closedToOthers.path().c_str(), root ? 0600 : 0), 0);
    ::setenv("KORVANE_COM7", "/dev/korvane-unplugged", 1);

    struct Row {
        const char* name;
        std::string device;
        int portNumber;
        bool unprivileged;
        std::vector<std::string> says;
    };
    const std::vector<Row> rows = {
        {"missing path",
         "/nonexistent/ttyKORVANE",
         1,
         false,
         {"/nonexistent/ttyKORVANE", "does not exist", "plugged in"}},
        {"COM100 is no device", "", 100, false, {"no serial port COM100"}},
        {"COM7 set to a missing adapter",
         "",
         7,
         false,
         {"COM7 (/dev/korvane-unplugged)", "does not exist", "correct KORVANE_COM7"}},
        {"no port chosen", "", 0, false, {"no serial port COM0"}},
        {"not a serial device", "/dev/null", 1, false, {"/dev/null", "not a serial port"}},
        {"held by another Korvane",
         held.path(),
         1,
         false,
         {held.path(), "busy", "another program"}},
        {"held with TIOCEXCL", locked.path(), 1, true, {locked.path(), "busy", "another program"}},
        {"no permission",
         closedToOthers.path(),
         1,
         true,
         {closedToOthers.path(), "Permission denied", "usermod -aG"}},
    };
    for (const auto& row : rows) {
        const std::string message = row.unprivileged
                                        ? runUnprivileged([&] { return openFailure(row.device); })
                                        : openFailure(row.device, row.portNumber);
        for (const auto& part : row.says) {
            EXPECT_NE(message.find(part), std::string::npos)
                << row.name << ": \"" << message << "\" lacks \"" << part << '"';
        }
    }
    ::unsetenv("KORVANE_COM7");
    ::close(lockFd);
}

TEST(TermiosSerialPort, RefusesOtherFramingNamingThePort) {
    TermiosSerialPort port(fixed("/dev/ttyKORVANE"));
    try {
        port.setSettings("38400,e,7,1");
        ADD_FAILURE() << "accepted";
    } catch (const PortError& error) {
        for (const char* part : {"\"38400,e,7,1\"", "/dev/ttyKORVANE", "n,8,1"}) {
            EXPECT_NE(std::string(error.what()).find(part), std::string::npos) << error.what();
        }
    }
}

// Sends an image record by record straight through the adapter, as a printer sees a download;
// stops after `records` records.
void sendImage(TermiosSerialPort& port, const std::vector<std::uint8_t>& image,
               int records = std::numeric_limits<int>::max()) {
    image::RecordWalker walker(image, image::Transfer::Serial);
    for (int sent = 0; sent < records; ++sent) {
        const auto record = walker.next();
        if (!record) {
            return;
        }
        port.write(std::span(image).subspan(static_cast<std::size_t>(record->start),
                                            static_cast<std::size_t>(record->size())));
        ASSERT_EQ(port.readAll(steady_clock::now() + std::chrono::seconds(5)),
                  std::vector<std::uint8_t>{0x06})
            << "record at " << record->start;
    }
}

// The other tests trust the simulator to notice a sender that goes wrong.
TEST(PrinterSim, NoticesWrongBytesAndASenderThatStopsEarly) {
    struct Row {
        const char* name;
        std::size_t corruptAt;  // npos: none
        int records;
        const char* ended;
        const char* mismatches;
        const char* firstMismatch;
        int status;
    };
    const Row rows[] = {
        {"one byte changed", 40, std::numeric_limits<int>::max(), "completed", "1", "2", 1},
        {"stops after two records", std::string::npos, 2, "sender-left", "0", "0", 1},
    };
    const auto image = sampleImage("small.DPX");
    for (const auto& row : rows) {
        ScratchDir dir;
        const auto summary = dir.file("summary");
        tools::SimProcess sim(printerSimProgram(),
                              {"--image", image.string(), "--summary", summary.string()});
        auto bytes = readBytes(image);
        if (row.corruptAt != std::string::npos) {
            ASSERT_NE(bytes.at(row.corruptAt), 0x0D);
            bytes[row.corruptAt] ^= 0x01;
        }
        {
            TermiosSerialPort port(fixed(sim.devicePath()));
            openAt38400(port);
            sendImage(port, bytes, row.records);
        }
        EXPECT_EQ(sim.wait(std::chrono::seconds(30)), row.status) << row.name;
        auto values = tools::readSimSummary(summary.string());
        EXPECT_EQ(values["ended"], row.ended) << row.name;
        EXPECT_EQ(values["mismatches"], row.mismatches) << row.name;
        EXPECT_EQ(values["first_mismatch"], row.firstMismatch) << row.name;
    }
}

}  // namespace
}  // namespace korvane::testing
