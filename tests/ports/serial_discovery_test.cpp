// Serial discovery, the COMk mapping and the ports listing, over a fake /sys, /dev and /proc.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "fake_sysfs.h"
#include "ports/linux/port_report.h"
#include "ports/linux/serial_device_map.h"

namespace korvane::ports {
namespace {

namespace fs = std::filesystem;
using testing::FakeSysfs;

// One device of a setup: "uart:ttyS0:4" (UART type from sysfs), "usb:ttyUSB0:1-2",
// "usb:ttyUSB2:1-4:1.1" (interface), "acm:ttyACM0:1-3", "other:ttyAMA0", "virtual:tty1".
void add(FakeSysfs& system, const std::string& entry) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t colon = entry.find(':', start);
        parts.push_back(entry.substr(start, colon - start));
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    const std::string& kind = parts[0];
    const std::string& name = parts[1];
    if (kind == "virtual") {
        system.virtualTty(name);
        return;
    }
    if (kind == "uart") {
        system.uart(name, parts[2], "0x3F8");
    } else if (kind == "usb" || kind == "acm") {
        system.usb(name, parts[2], kind == "acm" ? "cdc_acm" : "ftdi_sio",
                   parts.size() > 3 ? parts[3] + "." + parts[4] : "1.0");
    } else {
        system.other(name);
    }
    system.node(name);
}

struct MappingCase {
    const char* name;
    std::vector<std::string> devices;
    std::map<std::string, std::string> variables;
    std::vector<std::string> com;  // COM1..COM4: a node under the fake /dev, a path, or ""
    std::vector<std::string> phantoms;
};

void PrintTo(const MappingCase& c, std::ostream* out) {
    *out << c.name;
}

class ComMapping : public ::testing::TestWithParam<MappingCase> {};

TEST_P(ComMapping, TakesTheVariableElseTheKthRealDevice) {
    const MappingCase& c = GetParam();
    FakeSysfs system;
    for (const auto& entry : c.devices) {
        add(system, entry);
    }
    for (const auto& [name, value] : c.variables) {
        system.variable(name, value);
    }
    for (int k = 1; k <= 4; ++k) {
        const std::string& expected = c.com[static_cast<std::size_t>(k - 1)];
        const std::string device = expected.empty() || expected.starts_with('/')
                                       ? expected
                                       : system.dev(expected).string();
        EXPECT_EQ(comDevice(k, system.serial()), device) << "COM" << k;
    }
    EXPECT_EQ(comDevice(0, system.serial()), "");
    EXPECT_EQ(discoverSerialDevices(system.serial()).phantoms, c.phantoms);
}

const MappingCase kMappingCases[] = {
    {"NothingReal", {"virtual:tty0", "virtual:console"}, {}, {"", "", "", ""}, {}},
    {"PhantomUartsLeftOut",
     {"uart:ttyS0:0", "uart:ttyS1:0", "uart:ttyS2:0", "uart:ttyS3:0"},
     {},
     {"", "", "", ""},
     {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}},
    {"LoneAdapterIsCom1",
     {"uart:ttyS0:0", "uart:ttyS1:0", "usb:ttyUSB0:1-2"},
     {},
     {"ttyUSB0", "", "", ""},
     {"ttyS0", "ttyS1"}},
    {"UartsByNumberThenAdapters",
     {"usb:ttyUSB0:1-2", "uart:ttyS10:4", "uart:ttyS1:0", "uart:ttyS2:14"},
     {},
     {"ttyS2", "ttyS10", "ttyUSB0", ""},
     {"ttyS1"}},
    {"AdaptersByUsbPortPathNotName",
     {"usb:ttyUSB0:1-10", "usb:ttyUSB1:1-2", "acm:ttyACM0:1-2.3", "usb:ttyUSB3:1-4:1:1",
      "usb:ttyUSB2:1-4:1:0"},
     {},
     {"ttyUSB1", "ttyACM0", "ttyUSB2", "ttyUSB3"},
     {}},
    {"OtherKindsAreNoComPort",
     {"other:ttyAMA0", "usb:ttyUSB0:1-1"},
     {},
     {"ttyUSB0", "", "", ""},
     {}},
    {"VariableWinsAndEmptyIsUnset",
     {"uart:ttyS0:4", "usb:ttyUSB0:1-1"},
     {{"KORVANE_COM1", "/dev/ttyUSB9"}, {"KORVANE_COM2", ""}, {"KORVANE_COM4", "/dev/ttyACM7"}},
     {"/dev/ttyUSB9", "ttyUSB0", "", "/dev/ttyACM7"},
     {}},
};

INSTANTIATE_TEST_SUITE_P(Serial, ComMapping, ::testing::ValuesIn(kMappingCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SerialDiscovery, ReadsWhatTheKernelAndUdevSayOfEachDevice) {
    FakeSysfs system;
    add(system, "uart:ttyS0:4");
    add(system, "usb:ttyUSB0:1-2");
    add(system, "acm:ttyACM0:3-1");
    system.stableName("by-id", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
    system.stableName("by-path", "pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB0");
    system.stableName("by-id", "usb-Other-if00", "ttyACM0");

    // kind, driver, UART type and address or USB port and interface, USB strings, stable names.
    const std::vector<std::string> expected = {
        "0 serial 16550A 0x3F8 | || by-id 0 by-path 0",
        "1 ftdi_sio 1-2 1-2:1.0 | 0403:6001|FTDI FT232R USB UART|A50285BI "
        "by-id 1 by-path 1 usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
        "2 cdc_acm 3-1 3-1:1.0 | 0403:6001|FTDI FT232R USB UART|A50285BI "
        "by-id 1 by-path 0 usb-Other-if00",
    };
    std::vector<std::string> found;
    for (const auto& d : discoverSerialDevices(system.serial()).devices) {
        found.push_back(
            std::to_string(static_cast<int>(d.kind)) + " " + d.driver + " " +
            (d.isUsb() ? d.usbPort + " " + d.usbInterface : d.uartType + " " + d.ioPort) + " | " +
            (d.isUsb() ? d.vendorId + ":" + d.productId : "") + "|" + d.manufacturer +
            (d.isUsb() ? " " : "") + d.product + "|" + d.serialNumber + " by-id " +
            std::to_string(d.byId.size()) + " by-path " + std::to_string(d.byPath.size()) +
            (d.byId.empty() ? "" : " " + d.byId[0].filename().string()));
    }
    EXPECT_EQ(found, expected);
}

TEST(SerialDiscovery, NamesUartTypesAndOrdersNumbersAsNumbers) {
    const std::pair<const char*, const char*> types[] = {
        {"0", ""}, {"4", "16550A"}, {"1", "8250"},     {"", ""},
        {"x", ""}, {"-1", ""},      {"99", "type 99"},
    };
    for (const auto& [sysfs, name] : types) {
        EXPECT_EQ(uartTypeName(sysfs), name) << '"' << sysfs << '"';
    }
    const std::pair<const char*, const char*> ordered[] = {
        {"ttyS2", "ttyS10"}, {"1-2", "1-10"},   {"1-2", "1-2.1"},
        {"1-9.4", "1-10.1"}, {"ttyS", "ttyS0"}, {"ttyS02", "ttyS3"},
    };
    for (const auto& [first, second] : ordered) {
        EXPECT_TRUE(naturalLess(first, second)) << first << " < " << second;
        EXPECT_FALSE(naturalLess(second, first)) << second << " < " << first;
    }
}

// Both ends of a pseudo-terminal, standing in for an adapter.
class Pty {
  public:
    Pty() {
        char name[256];
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        path_ = name;
    }
    ~Pty() {
        ::close(master_);
        ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    const std::string& path() const { return path_; }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

TEST(SerialDiscovery, APtyDressedAsTheOnlyAdapterIsCom1) {
    Pty pty;
    FakeSysfs system;
    for (const char* phantom : {"ttyS0", "ttyS1", "ttyS2", "ttyS3"}) {
        system.uart(phantom, "0", "0x3F8");
        system.node(phantom);
    }
    system.usb("ttyUSB0", "1-1", "pl2303");
    system.node("ttyUSB0", pty.path());
    system.stableName("by-id", "usb-Prolific_USB-Serial-if00-port0", "ttyUSB0");

    const std::string com1 = comDevice(1, system.serial());
    EXPECT_EQ(fs::canonical(com1), fs::canonical(pty.path()));
    EXPECT_EQ(comDevice(2, system.serial()), "");
    const auto inventory = discoverSerialDevices(system.serial());
    EXPECT_EQ(describeSerialChoice(1, inventory, system.serial()),
              "COM1 is " + com1 + " (USB serial, by-id usb-Prolific_USB-Serial-if00-port0)");
    EXPECT_EQ(describeSerialPath(pty.path(), inventory, system.serial()),
              pty.path() + " is COM1 (USB serial, by-id usb-Prolific_USB-Serial-if00-port0)");
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(PortsReport, SaysWhatIsThereWhatIsLeftOutAndWhatEachChoiceIs) {
    const struct {
        const char* name;
        std::vector<std::string> devices;
        bool parport;
        std::vector<std::string> says;
        bool openEach = false;  // asked to open each port: only then is one opened
    } rows[] = {
        {"one UART and nothing else",
         {"uart:ttyS0:4", "virtual:tty1"},
         false,
         {"ttyS0  COM1  on-board UART 16550A at I/O 0x3F8", "No USB serial adapter",
          "Left out: none", "the kernel knows no parallel port", "COM2 has no device",
          "LPT1 is direct port I/O at 0x378"}},
        {"phantoms, an adapter and a parport",
         {"uart:ttyS0:0", "uart:ttyS1:0", "usb:ttyUSB0:1-2", "other:ttyAMA0"},
         true,
         {"ttyUSB0  COM1  USB serial adapter", "vendor 0403, product 6001, FTDI FT232R USB UART",
          "serial A50285BI, USB port 1-2", "driver:   ftdi_sio",
          "ttyAMA0  no COM choice  serial device", "Left out: 2 /dev/ttyS* nodes", "(ttyS0, ttyS1)",
          "parport0  LPT1  at 0x378, IRQ 7, modes PCSPP,TRISTATE,EPP", "COM1 is ",
          "COM2 has no device: only 1 serial device", "LPT2 is direct port I/O"}},
        {"asked to open each",
         {"usb:ttyUSB0:1-2"},
         true,
         {"driver:   ftdi_sio\n      may open: yes\n      opens:    yes\n"},
         true},
    };
    for (const auto& row : rows) {
        FakeSysfs system;
        for (const auto& entry : row.devices) {
            add(system, entry);
        }
        if (row.parport) {
            system.parport(0, "888\t1912\n", "PCSPP,TRISTATE,EPP");
        }
        const std::string report = portsReport(discoverSerialDevices(system.serial()),
                                               system.serial(), system.parallel(), row.openEach);
        for (const auto& part : row.says) {
            EXPECT_TRUE(contains(report, part)) << row.name << ": lacks " << part << "\n" << report;
        }
        EXPECT_EQ(contains(report, "opens:"), row.openEach) << row.name << "\n" << report;
    }
}

}  // namespace
}  // namespace korvane::ports
