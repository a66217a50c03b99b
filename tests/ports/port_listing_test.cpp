// The Windows ports listing and device lines, over plain port lists: no Windows API needed.
#include <gtest/gtest.h>

#include <map>

#include "ports/port_listing.h"

namespace korvane::ports {
namespace {

TEST(PortNames, ComNamesAndHexAddresses) {
    const std::pair<const char*, std::optional<int>> com[] = {
        {"COM1", 1},    {"com7", 7},        {"\\\\.\\COM12", 12}, {"COM256", 256},
        {"COM257", {}}, {"COM0", {}},       {"COM01", {}},        {"COM", {}},
        {"LPT1", {}},   {"/dev/ttyS0", {}}, {" COM1", {}},
    };
    for (const auto& [text, k] : com) {
        EXPECT_EQ(comNumber(text), k) << text;
    }
    const std::pair<const char*, std::optional<std::uint16_t>> hex[] = {
        {"D010", 0xD010}, {"0xd010", 0xD010}, {" 378", {}},  {"0X278", 0x278},
        {"FFFD", 0xFFFD}, {"FFFE", {}},       {"10000", {}}, {"0", {}},
        {"", {}},         {"0x", {}},         {"zz", {}},    {"378h", {}},
    };
    for (const auto& [text, base] : hex) {
        EXPECT_EQ(parseHexAddress(text), base) << '"' << text << '"';
    }
}

TEST(PortNames, UsbIdsAndSerialNumbersFromDeviceIds) {
    const struct {
        const char* id;
        const char* ids;  // "vendor:product", "" for none
        const char* serial;
    } rows[] = {
        {"USB\\VID_0403&PID_6001\\A50285BI", "0403:6001", "A50285BI"},
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", "0403:6001", "A50285BI"},
        {"FTDIBUS\\COMPORT&VID_0403&PID_6015", "0403:6015", ""},
        {"USB\\VID_1A86&PID_7523\\5&2A3B4C&0&2", "1A86:7523", ""},
        {"USB\\VID_2341&PID_0043&MI_00\\6&1234&0&0000", "2341:0043", ""},
        {"usb\\vid_067b&pid_2303\\ab12", "067B:2303", "ab12"},
        {"ACPI\\PNP0501\\1", "", ""},
        {"USB\\VID_12&PID_3456\\X", "", "X"},
        {"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1&0&0", "", ""},
    };
    for (const auto& row : rows) {
        const auto ids = usbIdsOf(row.id);
        EXPECT_EQ(ids ? ids->vendor + ":" + ids->product : "", row.ids) << row.id;
        EXPECT_EQ(serialNumberOf(row.id), row.serial) << row.id;
    }
}

TEST(PortNames, OpenErrorsSayWhatToDo) {
    const std::pair<unsigned long, const char*> rows[] = {
        {2, "no: the port is gone"},
        {5, "no: busy, another program holds it"},
        {32, "no: busy"},
        {31, "no: the device does not answer"},
        {1167, "does not answer"},
        {121, "did not open in time"},
        {87, "no (Windows error 87)"},
    };
    for (const auto& [code, says] : rows) {
        const std::string text = openErrorText(code);
        EXPECT_NE(text.find(says), std::string::npos) << code << ": " << text;
        EXPECT_NE(text.find("error " + std::to_string(code)), std::string::npos) << text;
    }
}

// A port of the Ports class; the fields a row does not give stay empty.
ComPort classPort(const std::string& name, const char* instance, const char* parent,
                  const char* service, const char* maker) {
    ComPort port;
    port.name = name;
    port.friendlyName = "PCI Serial Port (" + name + ")";
    port.instanceId = instance;
    port.parentId = parent;
    port.hardwareId = instance;
    port.service = service;
    port.manufacturer = maker;
    port.inPortsClass = true;
    return port;
}

ComPort classPort(const char* instance, const char* parent, const char* service,
                  const char* maker) {
    return classPort("COM5", instance, parent, service, maker);
}

ComPort ftdi(const std::string& name, std::optional<int> timer) {
    ComPort port = classPort(name, "FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000",
                             "USB\\VID_0403&PID_6001\\A50285BI", "FTSER2K", "FTDI");
    port.friendlyName = "USB Serial Port (" + name + ")";
    port.hardwareId = "FTDIBUS\\COMPORT&VID_0403&PID_6001";
    port.kernelDevice = "\\Device\\VCP0";
    port.latencyTimerMs = timer;
    return port;
}

ComPort onBoard(const std::string& name) {
    ComPort port =
        classPort(name, "ACPI\\PNP0501\\1", "ACPI\\PNP0A03\\0", "Serial", "(Standard port types)");
    port.friendlyName = "Communications Port (" + name + ")";
    port.kernelDevice = "\\Device\\Serial0";
    return port;
}

ComPort virtualPort(const char* name, const char* device) {
    ComPort port;
    port.name = name;
    port.kernelDevice = device;
    return port;
}

TEST(PortDescription, SaysWhatKindAndWhichAdapter) {
    const std::pair<ComPort, const char*> rows[] = {
        {ftdi("COM7", 16), "USB serial, FTDI 0403:6001, serial A50285BI, latency timer 16 ms"},
        {ftdi("COM7", {}), "USB serial, FTDI 0403:6001, serial A50285BI"},
        {classPort("USB\\VID_2341&PID_0043\\75735", "USB\\ROOT_HUB30\\4&1", "usbser", "Microsoft"),
         "USB ACM, 2341:0043, serial 75735"},
        {classPort("USB\\VID_1A86&PID_7523\\5&2A3B4C&0&2", "USB\\ROOT_HUB30\\4&1", "CH341SER_A64",
                   ""),
         "USB serial, 1A86:7523"},
        {classPort("USB\\VID_2341&PID_8036&MI_00\\6&1&0&0000", "USB\\VID_2341&PID_8036\\SN9", "x",
                   ""),
         "USB serial, 2341:8036, serial SN9"},
        {onBoard("COM1"), "on-board serial port"},
        {virtualPort("COM10", "\\Device\\com0com10"),
         "virtual port, kernel device \\Device\\com0com10"},
        {classPort("BTHENUM\\{00001101-0000}_LOCALMFG&0002\\7&1&0&0", "BTH\\MS_BTHBRB\\1",
                   "BTHMODEM", ""),
         "Bluetooth serial port"},
        {classPort("PCI\\VEN_1415&DEV_C158\\4&1", "PCI\\ROOT\\1", "oxser", "Oxford"),
         "PCI Serial Port (COM5), driver oxser"},
    };
    for (const auto& [port, says] : rows) {
        EXPECT_EQ(describeComPort(port), says) << port.instanceId;
    }
}

struct Machine {
    std::vector<ComPort> com;
    std::vector<LptPort> lpt;
    std::map<std::string, std::string> variables;
    bool driver = false;

    SystemPorts system() const {
        SystemPorts system{com, lpt, {{"C:\\Korvane", "C:\\windows\\system32"}, ""}, {}};
        if (driver) {
            system.driver.found = "C:\\windows\\system32\\inpoutx64.dll";
        }
        system.variable = [variables = variables](const std::string& name) {
            const auto it = variables.find(name);
            return it == variables.end() ? std::nullopt : std::optional(it->second);
        };
        return system;
    }
};

const char kMissing[] =
    "inpoutx64.dll is missing: copy it beside the program or into System32, and run once as "
    "administrator";

TEST(DeviceLine, NamesThePortBehindEachChoice) {
    const Machine two{{onBoard("COM1"), ftdi("COM7", 16)}, {}, {}};
    Machine pinned = two;
    pinned.variables = {{"KORVANE_COM1", "COM7"},
                        {"KORVANE_COM2", ""},
                        {"KORVANE_COM3", "COM9"},
                        {"KORVANE_COM4", "/dev/ttyS0"},
                        {"KORVANE_COM7", "COM1"}};
    const Machine none{};
    const Machine parallel{{},
                           {{"LPT1", "ECP Printer Port (LPT1)", "ACPI\\PNP0401\\0", 0x378},
                            {"LPT3", "PCI ECP Parallel Port (LPT3)", "PCI\\VEN_1C00\\1", 0xD010}},
                           {},
                           true};
    Machine lptPinned = parallel;
    lptPinned.variables = {{"KORVANE_LPT1", "0xd010"}, {"KORVANE_LPT2", "zz"}};
    const Machine unread{{}, {{"LPT2", "Printer Port (LPT2)", "ACPI\\PNP0400\\1", {}}}, {}, false};

    const std::string ftdiLine =
        "(USB serial, FTDI 0403:6001, serial A50285BI, latency timer 16 ms)";
    const std::string found = "; port driver C:\\windows\\system32\\inpoutx64.dll)";
    const std::string noLpt2 =
        "LPT2 is I/O 0x278 (no parallel port of this system is there; it has LPT1 at 0x378, LPT3 "
        "at 0xD010" +
        found;
    // chosen: a serial port's name and "#k", its index in the window's list, or either alone;
    // "L:" and "L" mark a parallel port's.
    const struct {
        const Machine& machine;
        const char* chosen;
        std::string says;
    } rows[] = {
        {two, "#0", "COM1 is COM1 (on-board serial port)"},
        {two, "\\\\.\\COM7", "COM7 is COM7 " + ftdiLine},
        {two, "COM12#1",
         "COM12 has no port: the ports this system has are COM1, COM7. Set KORVANE_COM12=COMk to "
         "use another."},
        {two, "\\\\.\\COM12", "COM12 does not exist: the ports this system has are COM1, COM7."},
        {two, "#2",
         "COM3 has no port: the ports this system has are COM1, COM7. Set KORVANE_COM3=COMk to use "
         "another."},
        {none, "#0",
         "COM1 has no port: this system has no COM port. Plug in the adapter, or set "
         "KORVANE_COM1=COMk to use another."},
        {pinned, "#0", "COM1 is COM7 (%KORVANE_COM1%, " + ftdiLine.substr(1)},
        {pinned, "COM1", "COM1 is COM7 (%KORVANE_COM1%, " + ftdiLine.substr(1)},
        {pinned, "#1",
         "COM2 has no port: the ports this system has are COM1, COM7. Set KORVANE_COM2=COMk to use "
         "another."},
        {pinned, "#2",
         "COM3 is COM9 (%KORVANE_COM3%), which this system does not have: the ports this system "
         "has are COM1, COM7. Set KORVANE_COM3 to one of them."},
        {pinned, "#3",
         "COM4: %KORVANE_COM4% is '/dev/ttyS0', which is no COM port name: set it to COMk, such "
         "as COM7."},
        {pinned, "COM7", "COM7 is COM1 (%KORVANE_COM7%, on-board serial port)"},
        {pinned, "\\\\.\\COM1", "COM1 is COM1 (on-board serial port)"},
        {two, "/dev/ttyUSB0",
         "/dev/ttyUSB0 is no COM port name: give COMk (k = 1..256) or \\\\.\\COMk."},
        {parallel, "L#0", "LPT1 is I/O 0x378 (the system's LPT1, ECP Printer Port (LPT1)" + found},
        {parallel, "L#1", noLpt2},
        {parallel, "L#3", noLpt2},
        {lptPinned, "L:lpt1",
         "LPT1 is I/O 0xD010 (%KORVANE_LPT1%; the system's LPT3, PCI ECP Parallel Port (LPT3)" +
             found},
        {lptPinned, "L#1",
         "LPT2: %KORVANE_LPT2% is 'zz', which is no I/O address: set it to the card's base "
         "address in hex, such as D010."},
        {parallel, "L:D010",
         "D010 is I/O 0xD010 (the system's LPT3, PCI ECP Parallel Port (LPT3)" + found},
        {unread, "L#1",
         "LPT2 is I/O 0x278 (the system's LPT2, Printer Port (LPT2), at its usual address: its "
         "resources were unread; " +
             std::string(kMissing) + ")"},
        {none, "L#0",
         "LPT1 is I/O 0x378 (this system lists no parallel port; " + std::string(kMissing) + ")"},
        {parallel, "L:0x378#7",
         "0x378 is I/O 0x378 (the system's LPT1, ECP Printer Port (LPT1)" + found},
        {parallel, "L:LPT9",
         "LPT9 is no parallel port: give LPT1, LPT2 or a base address in hex, such as D010."},
    };
    for (const auto& row : rows) {
        std::string chosen = row.chosen;
        const bool serial = !chosen.starts_with('L');
        chosen = serial ? chosen : chosen.substr(chosen[1] == ':' ? 2 : 1);
        const std::size_t hash = chosen.find('#');
        const auto index = hash == std::string::npos
                               ? std::nullopt
                               : std::optional(std::stoi(chosen.substr(hash + 1)));
        EXPECT_EQ(describeChosen(serial, index, chosen.substr(0, hash), row.machine.system()),
                  row.says)
            << row.chosen;
    }
}

TEST(PortsListing, ShowsEachPortItsChoiceAndWhatToDo) {
    Machine mixed{{onBoard("COM1"), ftdi("COM7", 16), virtualPort("COM10", "\\Device\\com0com10")},
                  {{"LPT3", "PCI ECP Parallel Port (LPT3)", "PCI\\VEN_1C00\\1", 0xD010}},
                  {{"KORVANE_COM2", "COM10"}},
                  true};
    mixed.com[1].openProblem = "no: busy, another program holds it (Windows error 5)";
    mixed.com[0].openProblem = "";
    Machine tuned{{ftdi("COM3", 1)}, {{"LPT1", "ECP Printer Port (LPT1)", "", {}}}, {}, false};
    const struct {
        const char* name;
        const Machine& setup;
        std::vector<std::string> says;
        std::vector<std::string> never;
    } rows[] = {
        {"ports of every kind",
         mixed,
         {"  COM1  COM1  on-board serial port\n", "      may open: yes\n",
          "  COM7  no COM choice  USB serial, FTDI 0403:6001, serial A50285BI",
          "      name:     USB Serial Port (COM7)\n", "      kernel:   \\Device\\VCP0\n",
          "      driver:   FTSER2K, FTDI\n",
          "latency timer: 16 ms; 1 ms makes downloads faster: Device Manager > COM7 > Port "
          "Settings > Advanced > Latency Timer",
          "set KORVANE_COMk=COM7 for the window",
          "      may open: no: busy, another program holds it (Windows error 5)\n",
          "  COM10  COM2  virtual port, kernel device \\Device\\com0com10\n",
          "  LPT3  no LPT choice  at 0xD010\n",
          "give D010 on the command line, or set "
          "KORVANE_LPT1=D010",
          "Port driver: inpoutx64.dll found at C:\\windows\\system32\\inpoutx64.dll",
          "The window's choices:\n  COM1 is COM1 (on-board serial port)\n  COM2 is COM10 "
          "(%KORVANE_COM2%, virtual port",
          "  COM3 has no port", "  LPT2 is I/O 0x278 (no parallel port"},
         {"No USB serial adapter", "kernel:   \\Device\\com0com10", "None was opened"}},
        {"a tuned adapter, an unread LPT1, no driver",
         tuned,
         {"  COM3  COM3  USB serial", "latency timer 1 ms",
          "  LPT1  LPT1  at 0x378 (its usual address: its resources were unread)\n",
          "inpoutx64.dll is missing (looked in C:\\Korvane and C:\\windows\\system32). It is "
          "the 64-bit DLL of the free InpOut32 port driver",
          "  COM1 has no port: the port this system has is COM3.",
          "None was opened: korvane-cli ports --open tries each"},
         {"1 ms makes downloads faster", "may open", "No USB serial adapter", "not LPT1 or LPT2"}},
        {"nothing",
         Machine{},
         {"  none: this system has no COM port.\n", "  No USB serial adapter is plugged in.\n",
          "  none: this system lists no parallel port.", "  LPT1 is I/O 0x378"},
         {}},
    };
    for (const auto& row : rows) {
        const std::string listing = portsListing(row.setup.system());
        for (const auto& part : row.says) {
            EXPECT_NE(listing.find(part), std::string::npos)
                << row.name << ": lacks " << part << "\n"
                << listing;
        }
        for (const auto& part : row.never) {
            EXPECT_EQ(listing.find(part), std::string::npos) << row.name << ": has " << part << "\n"
                                                             << listing;
        }
    }
}

}  // namespace
}  // namespace korvane::ports
