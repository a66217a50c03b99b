#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/port_io.h"

namespace korvane::ports {

using download::kLpt1Base;
using download::kLpt2Base;

// Where the LPT mapping looks. The defaults are the live system; tests point the roots at a
// fake tree and the environment at a map.
struct ParallelEnvironment {
    std::filesystem::path procRoot = "/proc";
    std::filesystem::path devRoot = "/dev";
    // Value of an environment variable, nothing when unset or empty.
    std::function<std::optional<std::string>(const std::string& name)> variable;

    static ParallelEnvironment live();
};

// One parport the kernel knows, from /proc/sys/dev/parport/parportN/base-addr.
struct KernelParport {
    int number = 0;
    std::uint16_t base = 0;
};

// The first number of a base-addr line ("888\t1912\n" gives 888), or nothing for anything else.
std::optional<std::uint16_t> parseBaseAddr(std::string_view text);

// Every parport with a readable base address, by number.
std::vector<KernelParport> kernelParports(const std::filesystem::path& procRoot);

// "LPT1" for kLpt1Base, "LPT2" for kLpt2Base, else "the parallel port at 0x3BC".
std::string portLabel(std::uint16_t base);

// The register an access goes to, from its offset to the port's base address.
enum class ParallelRegister { Data, Status, Control };

// Data at base, status at base + 1, control at base + 2; nothing for any other address.
std::optional<ParallelRegister> registerAt(std::uint16_t base, std::uint16_t address);

// The same, throwing PortError for an address outside the port: a fault of the caller.
ParallelRegister registerOf(std::uint16_t base, std::uint16_t address);

// How a base address reaches the hardware.
struct PortChoice {
    enum class Kind { Ppdev, Direct };
    Kind kind = Kind::Direct;
    std::filesystem::path device;  // the /dev/parportN for Ppdev
    std::string reason;            // why this one, e.g. "$KORVANE_LPT1"
    // What was looked at and not taken, one entry each, for the message when nothing works.
    std::vector<std::string> tried;
    // The kernel has the port but no /dev/parportN for it: ppdev is not loaded.
    bool ppdevMissing = false;
};

// The mapping of the team design: $KORVANE_LPTk; else the parport whose base address matches;
// else /dev/parport0 (LPT1) or /dev/parport1 (LPT2); else direct port I/O. A device that
// exists is chosen even if it may fail to open, so that its own error reaches the user.
PortChoice choosePort(std::uint16_t base, const ParallelEnvironment& environment);

// The name of the variable that pins a base address to a device, nothing for other bases.
std::optional<std::string> variableFor(std::uint16_t base);

// Who holds parportN right now: its devices/active line, "none" when nobody does; nothing when
// /proc does not say.
std::optional<std::string> activeClaimant(const std::filesystem::path& procRoot, int number);

// The N of a /dev/parportN device, through symbolic links; nothing for any other name.
std::optional<int> parportNumberOf(const std::filesystem::path& device);

// "/dev/parport0 (LPT1)" for a device the mapping chose; the bare path, without base, for a
// device the user named.
std::string deviceLabel(const std::filesystem::path& device, std::optional<std::uint16_t> base);

// Messages for the user: each names the device and what to do about the failure.
std::string describeOpenFailure(const std::filesystem::path& device,
                                std::optional<std::uint16_t> base, int error);
std::string describeClaimFailure(const std::filesystem::path& device,
                                 std::optional<std::uint16_t> base, int error);
std::string describePortHeld(const std::filesystem::path& device, std::optional<std::uint16_t> base,
                             const std::string& claimant);
std::string describeNoPort(std::uint16_t base, const PortChoice& choice, int directIoError);

}  // namespace korvane::ports
