// The parallel adapter against the test port driver DLL (test_port_driver.cpp), which this test
// copies beside its own exe, into System32 or into the current folder as a row asks. The exe's
// folder holds driver/ and driver-incomplete/ with the two builds of that DLL, and demo.DPX.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "download/download_sequence.h"
#include "download/messages.h"
#include "download/port_error.h"
#include "ports/windows/inpout_parallel_ports.h"
#include "ports/windows/port_io_driver.h"
#include "support/fake_clock.h"
#include "support/null_ports.h"
#include "support/unattended_host.h"

namespace korvane::testing {
namespace {

namespace fs = std::filesystem;
using download::Outcome;
using Bytes = std::vector<std::uint8_t>;

fs::path exeFolder() {
    std::wstring buffer(32768, L'\0');
    buffer.resize(GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())));
    return fs::path(buffer).parent_path();
}

fs::path systemFolder() {
    std::wstring buffer(MAX_PATH, L'\0');
    buffer.resize(GetSystemDirectoryW(buffer.data(), MAX_PATH));
    return buffer;
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string readText(const fs::path& path) {
    const Bytes bytes = readFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// What a printer must receive: every record's bytes before its CR, the CR and the byte after it
// left out, up to the record with 0x17 three places before its CR.
Bytes recordBytes(const Bytes& image) {
    Bytes sent;
    std::size_t position = 0;
    while (position < image.size()) {
        const std::size_t start = position;
        do {
            sent.push_back(image[position++]);
        } while (image.at(position) != 0x0D);
        if (position - start >= 3 && image[position - 3] == 0x17) {
            break;
        }
        position += 2;
    }
    return sent;
}

enum class Place { Nowhere, ProgramFolder, System32, CurrentFolderOnly, NotTheDriver };
enum class Time { Stepping, Real };

// Puts the test DLL where a row wants it and takes every copy away again, so that no row sees
// another's. The current folder is a fresh one in the temporary folder.
class DriverLayout {
  public:
    explicit DriverLayout(Place place) : current_(fs::temp_directory_path() / "korvane-cwd") {
        clear();
        fs::create_directories(current_);
        previous_ = fs::current_path();
        fs::current_path(current_);
        const fs::path built = exeFolder() / "driver" / ports::kPortIoDriverName;
        switch (place) {
            case Place::Nowhere:
                break;
            case Place::ProgramFolder:
                fs::copy_file(built, exeFolder() / ports::kPortIoDriverName);
                break;
            case Place::System32:
                fs::copy_file(built, systemFolder() / ports::kPortIoDriverName);
                break;
            case Place::CurrentFolderOnly:
                fs::copy_file(built, current_ / ports::kPortIoDriverName);
                break;
            case Place::NotTheDriver:
                fs::copy_file(exeFolder() / "driver-incomplete" / ports::kPortIoDriverName,
                              exeFolder() / ports::kPortIoDriverName);
                break;
        }
    }
    ~DriverLayout() {
        fs::current_path(previous_);
        clear();
    }

  private:
    void clear() {
        for (const fs::path& folder : {exeFolder(), systemFolder(), current_}) {
            fs::remove(folder / ports::kPortIoDriverName);
        }
    }
    fs::path current_;
    fs::path previous_;
};

// Sets environment variables for the life of a row; an empty value leaves one unset.
class ScopedEnvironment {
  public:
    explicit ScopedEnvironment(std::vector<std::pair<std::string, std::string>> values)
        : values_(std::move(values)) {
        for (const auto& [name, value] : values_) {
            _putenv_s(name.c_str(), value.c_str());
        }
    }
    ~ScopedEnvironment() {
        for (const auto& [name, value] : values_) {
            _putenv_s(name.c_str(), "");
        }
    }

  private:
    std::vector<std::pair<std::string, std::string>> values_;
};

struct Row {
    const char* name;
    Place place = Place::ProgramFolder;
    std::vector<std::pair<std::string, std::string>> environment = {};
    int portIndex = 0;
    Time time = Time::Stepping;
    Outcome outcome = Outcome::Success;
    std::vector<std::string> messageHas = {};
    long received = -1;  // how many of the record bytes the printer latched; -1: all of them
    std::vector<std::string> firstAccesses = {};
};

const std::vector<std::string> kLpt1FirstByte = {"R379", "W378=", "W37A=CD", "W37A=CC"};
const std::vector<std::string> kNotInstalled = {"Cannot reach LPT1 (0x378)",
                                                "inpoutx64.dll",
                                                "is not installed",
                                                "InpOut32",
                                                "beside",
                                                "administrator"};

TEST(InpOutParallelPorts, DownloadsThroughTheDriverDll) {
    const Row rows[] = {
        {.name = "ready printer, a whole image byte-exact",
         .environment = {{"KORVANE_TEST_PRINTER_BUSY_READS", "2"}}},
        {.name = "every access one call, in order", .firstAccesses = kLpt1FirstByte},
        {.name = "LPT2 drives 0x278",
         .environment = {{"KORVANE_TEST_PRINTER_BASE", "278"}},
         .portIndex = 1,
         .firstAccesses = {"R279", "W278=", "W27A=CD", "W27A=CC"}},
        {.name = "%KORVANE_LPT1% moves LPT1 to a card",
         .environment = {{"KORVANE_LPT1", "0xD010"}, {"KORVANE_TEST_PRINTER_BASE", "D010"}},
         .firstAccesses = {"RD011", "WD010=", "WD012=CD", "WD012=CC"}},
        {.name = "%KORVANE_LPT2% in lower case without 0x",
         .environment = {{"KORVANE_LPT2", "c000"}, {"KORVANE_TEST_PRINTER_BASE", "C000"}},
         .portIndex = 1},
        {.name = "%KORVANE_LPT1% is not a base address",
         .environment = {{"KORVANE_LPT1", "LPT3"}},
         .outcome = Outcome::PortError,
         .messageHas = {"%KORVANE_LPT1%", "\"LPT3\"", "not a hex I/O base address"},
         .received = 0},
        {.name = "the DLL in System32", .place = Place::System32},
        {.name = "no DLL anywhere",
         .place = Place::Nowhere,
         .outcome = Outcome::PortError,
         .messageHas = kNotInstalled,
         .received = 0},
        {.name = "a DLL in the current folder is not loaded",
         .place = Place::CurrentFolderOnly,
         .outcome = Outcome::PortError,
         .messageHas = kNotInstalled,
         .received = 0},
        {.name = "a DLL without the driver's entry points",
         .place = Place::NotTheDriver,
         .outcome = Outcome::PortError,
         .messageHas = {"Cannot reach LPT1", "is not the port driver DLL", "IsInpOutDriverOpen"},
         .received = 0},
        {.name = "the driver does not open",
         .environment = {{"KORVANE_TEST_PRINTER", "closed"}},
         .outcome = Outcome::PortError,
         .messageHas = {"Cannot reach LPT1", "is not open", "administrator", "Memory integrity",
                        "Core isolation", "vulnerable driver blocklist", "security software",
                        "running as administrator does not help"},
         .received = 0},
        {.name = "busy for good after five bytes",
         .environment = {{"KORVANE_TEST_PRINTER", "busy"},
                         {"KORVANE_TEST_PRINTER_READY_BYTES", "5"}},
         .outcome = Outcome::PrinterFailed,
         .messageHas = {"Printer Port Error. (Code : 18)"},
         .received = 5},
        {.name = "a fault that lasts, on the real clock",
         .environment = {{"KORVANE_TEST_PRINTER", "fault"},
                         {"KORVANE_TEST_PRINTER_READY_BYTES", "3"}},
         .time = Time::Real,
         .outcome = Outcome::PrinterFailed,
         .messageHas = {"Printer Port Error. (Code : 10)"},
         .received = 3},
    };
    const fs::path out = fs::temp_directory_path() / "korvane-printer.out";
    const fs::path log = fs::temp_directory_path() / "korvane-printer.log";
    const Bytes image = readFile(exeFolder() / "demo.DPX");
    ASSERT_GT(image.size(), 1000U);
    const Bytes expected = recordBytes(image);

    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove(out);
        fs::remove(log);
        auto environment = row.environment;
        environment.emplace_back("KORVANE_TEST_PRINTER_OUT", out.string());
        environment.emplace_back("KORVANE_TEST_PRINTER_LOG",
                                 row.firstAccesses.empty() ? "" : log.string());
        const ScopedEnvironment scoped(environment);
        const DriverLayout layout(row.place);

        UnattendedHost host;
        NullSerialPort serial;
        ports::InpOutParallelPorts parallel;
        FakeClock stepping(std::chrono::milliseconds(1));
        download::SteadyClock steady;
        download::Clock& clock =
            row.time == Time::Real ? static_cast<download::Clock&>(steady) : stepping;
        download::DownloadSequence sequence(host, serial, parallel, clock);
        const auto result = sequence.run({.firmwarePath = (exeFolder() / "demo.DPX").string(),
                                          .serial = false,
                                          .portIndex = row.portIndex});

        EXPECT_EQ(result.outcome, row.outcome) << result.message;
        if (row.outcome == Outcome::Success) {
            EXPECT_EQ(result.message, download::messages::kSuccess);
        }
        for (const auto& part : row.messageHas) {
            EXPECT_NE(result.message.find(part), std::string::npos) << result.message;
        }
        EXPECT_EQ(GetModuleHandleW(L"inpoutx64.dll"), nullptr) << "the DLL outlived the claim";
        const Bytes received = readFile(out);
        const auto count = row.received < 0 ? expected.size() : std::size_t(row.received);
        EXPECT_EQ(received, Bytes(expected.begin(), expected.begin() + count));
        if (!row.firstAccesses.empty()) {
            const std::string accesses = readText(log);
            std::size_t at = 0;
            for (const auto& access : row.firstAccesses) {
                EXPECT_EQ(accesses.compare(at, access.size(), access), 0) << accesses.substr(0, 80);
                at = accesses.find('\n', at) + 1;
            }
        }
    }
}

TEST(InpOutParallelPorts, ClaimHoldsTheDllAndReachesOnlyThePortsRegisters) {
    const DriverLayout layout(Place::ProgramFolder);
    const ScopedEnvironment scoped(
        std::vector<std::pair<std::string, std::string>>{{"KORVANE_LPT1", "D010"}});
    ports::InpOutParallelPorts parallel;
    {
        const auto port = parallel.claim(download::kLpt1Base);
        EXPECT_NE(GetModuleHandleW(L"inpoutx64.dll"), nullptr);
        EXPECT_THROW(port->read(0x37B), download::PortError);
        EXPECT_THROW(port->write(0x377, 0), download::PortError);
        EXPECT_THROW(port->read(0xD011), download::PortError);
    }
    EXPECT_EQ(GetModuleHandleW(L"inpoutx64.dll"), nullptr);
}

// What a port listing says of the DLL follows the same search as a claim.
TEST(InpOutParallelPorts, DriverIsFoundWhereAClaimWouldLoadIt) {
    const std::pair<Place, std::optional<fs::path>> rows[] = {
        {Place::Nowhere, {}},
        {Place::ProgramFolder, exeFolder() / ports::kPortIoDriverName},
        {Place::System32, systemFolder() / ports::kPortIoDriverName},
        {Place::CurrentFolderOnly, {}},
    };
    for (const auto& [place, found] : rows) {
        const DriverLayout layout(place);
        EXPECT_EQ(ports::portIoDriverPresent(), found.has_value()) << int(place);
        EXPECT_EQ(ports::findPortIoDriver(), found) << int(place);
        const std::string text = ports::describePortIoDriver();
        EXPECT_NE(text.find(found ? found->string() : std::string("not found")), std::string::npos)
            << text;
    }
}

TEST(InpOutParallelPorts, ForBaseSendsEveryClaimToIt) {
    for (const std::uint16_t engineBase : {download::kLpt1Base, download::kLpt2Base}) {
        const auto ports = ports::InpOutParallelPorts::forBase(0xE000);
        EXPECT_EQ(ports->targetFor(engineBase).ioBase, 0xE000) << engineBase;
    }
}

TEST(InpOutParallelPorts, ParsesHexBaseAddresses) {
    const std::pair<const char*, std::optional<std::uint16_t>> rows[] = {
        {"378", 0x378}, {"0x378", 0x378}, {"0XD010", 0xD010}, {"d010", 0xD010}, {"FFFD", 0xFFFD},
        {"FFFE", {}},   {"10000", {}},    {"0", {}},          {"", {}},         {"0x", {}},
        {" 378", {}},   {"378h", {}},     {"-378", {}},       {"LPT1", {}},
    };
    for (const auto& [text, base] : rows) {
        EXPECT_EQ(ports::parseIoBase(text), base) << '"' << text << '"';
    }
}

}  // namespace
}  // namespace korvane::testing
