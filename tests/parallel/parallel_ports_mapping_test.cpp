#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <random>

#include "download/port_error.h"
#include "ports/linux/linux_parallel_ports.h"
#include "ports/linux/parallel_port_mapping.h"

namespace korvane::ports {
namespace {

namespace fs = std::filesystem;
using Kind = PortChoice::Kind;

TEST(ParseBaseAddr, TakesTheFirstDecimalNumberOfTheLine) {
    const struct {
        const char* text;
        std::optional<std::uint16_t> base;
    } cases[] = {
        {"888\t1912\n", 888}, {"632\t1656", 632}, {"  956\n", 956}, {"53264 53256", 53264},
        {"0x378\t0x778", {}}, {"888abc", {}},     {"", {}},         {"\n", {}},
        {"-1\t-1", {}},       {"65536\t0", {}},   {"65535", 65535}, {"junk", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseBaseAddr(c.text), c.base) << '"' << c.text << '"';
    }
}

TEST(RegisterAt, MapsOnlyTheThreeRegistersOfThePort) {
    using R = ParallelRegister;
    const struct {
        std::uint16_t base;
        std::uint16_t address;
        std::optional<R> reg;
    } cases[] = {
        {0x378, 0x378, R::Data},   {0x378, 0x379, R::Status}, {0x378, 0x37A, R::Control},
        {0x378, 0x37B, {}},        {0x378, 0x377, {}},        {0x378, 0x279, {}},
        {0x278, 0x279, R::Status}, {0x0000, 0xFFFF, {}},      {0xFFFE, 0x0000, R::Control},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(registerAt(c.base, c.address), c.reg) << std::hex << c.base << " " << c.address;
    }
    EXPECT_THROW(registerOf(0x378, 0x37B), download::PortError);
}

// A /proc and /dev of our own under a fresh temporary folder.
class FakeSystem {
  public:
    FakeSystem() {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("korvane-parport-" + std::to_string(random()));
        fs::create_directories(root_ / "proc/sys/dev/parport/default");
        fs::create_directories(root_ / "dev");
        environment_.procRoot = root_ / "proc";
        environment_.devRoot = root_ / "dev";
        environment_.variable = [this](const std::string& name) -> std::optional<std::string> {
            const auto found = variables_.find(name);
            return found == variables_.end() ? std::nullopt : std::optional(found->second);
        };
    }
    ~FakeSystem() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    FakeSystem(const FakeSystem&) = delete;
    FakeSystem& operator=(const FakeSystem&) = delete;

    void parport(int number, const std::string& baseAddr) {
        const auto dir = root_ / "proc/sys/dev/parport" / ("parport" + std::to_string(number));
        fs::create_directories(dir);
        std::ofstream(dir / "base-addr") << baseAddr;
    }
    void active(int number, const std::string& line) {
        const auto dir =
            root_ / "proc/sys/dev/parport" / ("parport" + std::to_string(number)) / "devices";
        fs::create_directories(dir);
        std::ofstream(dir / "active") << line;
    }
    void device(int number) { std::ofstream(dev("parport" + std::to_string(number))); }
    void variable(const std::string& name, const std::string& value) { variables_[name] = value; }
    fs::path dev(const std::string& name) const { return root_ / "dev" / name; }
    const ParallelEnvironment& environment() const { return environment_; }

  private:
    fs::path root_;
    ParallelEnvironment environment_;
    std::map<std::string, std::string> variables_;
};

struct Setup {
    std::vector<std::pair<int, std::string>> parports;  // number, base-addr line
    std::vector<int> devices;                           // /dev/parportN that exist
    std::map<std::string, std::string> variables;
};

struct MappingCase {
    const char* name;
    Setup setup;
    std::uint16_t base;
    Kind kind;
    std::string device;  // under the fake /dev, or as given by a variable
    bool ppdevMissing;
    std::vector<std::string> tried;  // substrings of the tried list, in order
};

// Test listings name the row rather than dump its bytes.
void PrintTo(const MappingCase& c, std::ostream* out) {
    *out << c.name;
}

class ChoosePort : public testing::TestWithParam<MappingCase> {};

TEST_P(ChoosePort, FollowsTheDeviceMapping) {
    const MappingCase& c = GetParam();
    FakeSystem system;
    for (const auto& [number, line] : c.setup.parports) {
        system.parport(number, line);
    }
    for (const int number : c.setup.devices) {
        system.device(number);
    }
    for (const auto& [name, value] : c.setup.variables) {
        system.variable(name, value);
    }

    const PortChoice choice = choosePort(c.base, system.environment());

    EXPECT_EQ(choice.kind, c.kind);
    if (c.kind == Kind::Ppdev) {
        const fs::path expected =
            c.device.starts_with('/') ? fs::path(c.device) : system.dev(c.device);
        EXPECT_EQ(choice.device, expected);
    }
    EXPECT_EQ(choice.ppdevMissing, c.ppdevMissing);
    ASSERT_EQ(choice.tried.size(), c.tried.size()) << testing::PrintToString(choice.tried);
    for (std::size_t i = 0; i < c.tried.size(); ++i) {
        EXPECT_NE(choice.tried[i].find(c.tried[i]), std::string::npos)
            << choice.tried[i] << " lacks " << c.tried[i];
    }
}

const MappingCase kMappingCases[] = {
    {"VariableWinsOverProc",
     {{{0, "888\t1912\n"}}, {0}, {{"KORVANE_LPT1", "/dev/parport7"}}},
     0x378,
     Kind::Ppdev,
     "/dev/parport7",
     false,
     {}},
    {"Lpt2VariableIsItsOwn",
     {{}, {}, {{"KORVANE_LPT1", "/dev/parport7"}}},
     0x278,
     Kind::Direct,
     "",
     false,
     {"$KORVANE_LPT2 (not set)", "no parallel port known", "parport1 (missing)"}},
    {"Lpt1ByBaseAddressNotByNumber",
     {{{0, "632\t1656\n"}, {1, "888\t1912\n"}}, {0, 1}, {}},
     0x378,
     Kind::Ppdev,
     "parport1",
     false,
     {"$KORVANE_LPT1 (not set)"}},
    {"Lpt2ByBaseAddressNotByNumber",
     {{{0, "632\t1656\n"}, {1, "888\t1912\n"}}, {0, 1}, {}},
     0x278,
     Kind::Ppdev,
     "parport0",
     false,
     {"$KORVANE_LPT2 (not set)"}},
    {"ProcWithoutDeviceMeansNoPpdev",
     {{{1, "888\t1912\n"}}, {}, {}},
     0x378,
     Kind::Direct,
     "",
     true,
     {"(not set)", "parport1 is at 0x378 but", "parport0 (missing)"}},
    {"FixedDeviceWhenProcIsSilent",
     {{}, {0}, {}},
     0x378,
     Kind::Ppdev,
     "parport0",
     false,
     {"(not set)", "no parallel port known"}},
    {"FixedDeviceOfLpt2",
     {{}, {0, 1}, {}},
     0x278,
     Kind::Ppdev,
     "parport1",
     false,
     {"(not set)", "no parallel port known"}},
    {"FixedDeviceOfACardElsewhere",
     {{{0, "53264\t53256\n"}}, {0}, {}},
     0x378,
     Kind::Ppdev,
     "parport0",
     false,
     {"(not set)", "none at 0x378; parport0 at 0xD010"}},
    {"FixedDeviceThatIsTheOtherLpt",
     {{{0, "632\t1656\n"}}, {0}, {}},
     0x378,
     Kind::Direct,
     "",
     false,
     {"(not set)", "none at 0x378", "parport0 (that is LPT2)"}},
    {"UnreadableBaseIsSkipped",
     {{{0, "junk\n"}, {1, "888\n"}}, {0, 1}, {}},
     0x378,
     Kind::Ppdev,
     "parport1",
     false,
     {"(not set)"}},
    {"NothingLeavesDirectIo",
     {{}, {}, {}},
     0x378,
     Kind::Direct,
     "",
     false,
     {"$KORVANE_LPT1 (not set)", "no parallel port known", "parport0 (missing)"}},
    {"OtherBaseHasNoVariableNorFixedDevice",
     {{}, {0}, {}},
     0x3BC,
     Kind::Direct,
     "",
     false,
     {"no parallel port known"}},
};

INSTANTIATE_TEST_SUITE_P(Mapping, ChoosePort, testing::ValuesIn(kMappingCases),
                         [](const auto& info) { return std::string(info.param.name); });

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Messages, NameTheDeviceThePortAndTheFix) {
    const fs::path dev = "/dev/parport1";
    const struct {
        std::string message;
        std::vector<std::string> parts;
    } cases[] = {
        {describeOpenFailure(dev, 0x378, EACCES), {"/dev/parport1", "LPT1", "lp group"}},
        {describeOpenFailure(dev, 0x378, ENOENT), {"/dev/parport1", "no such device", "modprobe"}},
        {describeOpenFailure(dev, 0x278, ENXIO), {"LPT2", "modprobe parport_pc ppdev"}},
        {describeOpenFailure(dev, 0x278, ENODEV), {"LPT2", "modprobe parport_pc ppdev"}},
        {describeOpenFailure(dev, 0x278, EIO), {"/dev/parport1", "LPT2", "Input/output error"}},
        {describeClaimFailure(dev, 0x378, EBUSY),
         {"/dev/parport1", "lp printer driver", "modprobe -r lp"}},
        {describeClaimFailure(dev, 0x378, ENXIO), {"another driver or program", "modprobe -r lp"}},
        {describeClaimFailure(dev, 0x378, ENOTTY), {"not a parallel port device"}},
        {describeClaimFailure(dev, 0x378, EACCES), {"lp group"}},
    };
    for (const auto& c : cases) {
        for (const auto& part : c.parts) {
            EXPECT_TRUE(contains(c.message, part)) << c.message << "\n  lacks: " << part;
        }
    }
}

TEST(ActiveClaimant, ReadsWhoHoldsThePortRightNow) {
    FakeSystem system;
    system.parport(0, "632\n");
    system.parport(1, "888\n");
    system.parport(2, "956\n");
    system.active(0, "none\n");
    system.active(1, "lp0\n");
    system.active(2, "");
    EXPECT_EQ(activeClaimant(system.environment().procRoot, 0), "none");
    EXPECT_EQ(activeClaimant(system.environment().procRoot, 1), "lp0");
    EXPECT_EQ(activeClaimant(system.environment().procRoot, 2), std::nullopt);
    EXPECT_EQ(activeClaimant(system.environment().procRoot, 3), std::nullopt);
}

TEST(ParportNumberOf, FollowsLinksToTheDevice) {
    FakeSystem system;
    system.device(2);
    fs::create_symlink(system.dev("parport2"), system.dev("printer"));
    fs::create_symlink(system.dev("parport2"), system.dev("parport9"));
    const struct {
        fs::path device;
        std::optional<int> number;
    } cases[] = {
        {system.dev("parport2"), 2}, {system.dev("printer"), 2}, {system.dev("parport9"), 2},
        {"/dev/parport13", 13},      {"/dev/parport", {}},       {"/dev/parportx", {}},
        {"/dev/ttyS0", {}},          {"/dev/parport1a", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parportNumberOf(c.device), c.number) << c.device;
    }
}

TEST(Messages, PortHeldNamesWhoHoldsIt) {
    const std::string byLp = describePortHeld("/dev/parport0", 0x378, "lp0");
    for (const char* part : {"/dev/parport0 (LPT1)", "lp printer driver (lp0)", "modprobe -r lp"}) {
        EXPECT_TRUE(contains(byLp, part)) << byLp << "\n  lacks: " << part;
    }
    const std::string byProgram = describePortHeld("/dev/parport0", 0x278, "ppdev0");
    for (const char* part : {"/dev/parport0 (LPT2)", "another program", "(ppdev0)"}) {
        EXPECT_TRUE(contains(byProgram, part)) << byProgram << "\n  lacks: " << part;
    }
}

TEST(Messages, NoPortSaysWhatWasTriedAndTheLikelyFix) {
    PortChoice choice;
    choice.tried = {"$KORVANE_LPT1 (not set)", "/proc/sys/dev/parport (no parallel port known)",
                    "/dev/parport0 (missing)"};
    const std::string plain = describeNoPort(0x378, choice, EPERM);
    for (const char* part : {"LPT1", "0x378", "$KORVANE_LPT1 (not set)", "/proc/sys/dev/parport",
                             "/dev/parport0 (missing)", "direct port I/O at 0x378", "not permitted",
                             "modprobe parport_pc ppdev", "set KORVANE_LPT1"}) {
        EXPECT_TRUE(contains(plain, part)) << plain << "\n  lacks: " << part;
    }
    choice.ppdevMissing = true;
    const std::string noPpdev = describeNoPort(0x378, choice, EPERM);
    EXPECT_TRUE(contains(noPpdev, "sudo modprobe ppdev")) << noPpdev;
}

// The real ppdev adapter on files that are no parallel port: the errors must reach the user.
TEST(LinuxParallelPorts, ReportsADeviceThatIsNoParallelPortOrIsHeld) {
    for (const bool heldByAnother : {false, true}) {
        FakeSystem system;
        const fs::path notAPort = system.dev("ttyS0");
        std::ofstream(notAPort) << "x";
        // Another Korvane on the same device holds its lock; it is refused before any claim.
        const int other = ::open(notAPort.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(other, heldByAnother ? LOCK_EX : LOCK_UN), 0);
        system.variable("KORVANE_LPT1", notAPort.string());
        LinuxParallelPorts ports(system.environment());
        try {
            ports.claim(0x378);
            ADD_FAILURE() << "claimed a regular file";
        } catch (const download::PortError& error) {
            const std::string message = error.what();
            EXPECT_TRUE(contains(message, notAPort.string())) << message;
            EXPECT_TRUE(contains(message, heldByAnother ? "in use by another program"
                                                        : "not a parallel port device"))
                << message;
            EXPECT_TRUE(contains(message, "$KORVANE_LPT1")) << message;
        }
        ::close(other);
    }
}

TEST(LinuxParallelPorts, ReportsAMissingPinnedDevice) {
    FakeSystem system;
    const fs::path missing = system.dev("parport9");
    const auto ports = LinuxParallelPorts::forDevice(missing);
    EXPECT_EQ(ports->choiceFor(0x278).device, missing);
    try {
        ports->claim(0x278);
        FAIL() << "claimed a missing device";
    } catch (const download::PortError& error) {
        const std::string message = error.what();
        EXPECT_TRUE(contains(message, missing.string())) << message;
        // The user named the device, not an LPT: calling it LPT2 would send them looking there.
        EXPECT_FALSE(contains(message, "LPT")) << message;
        EXPECT_TRUE(contains(message, "no such device")) << message;
    }
}

}  // namespace
}  // namespace korvane::ports
