#include "ports/linux/linux_parallel_ports.h"

#include <utility>

#include "download/port_error.h"
#include "ports/linux/direct_port_io.h"
#include "ports/linux/ppdev_port_io.h"

namespace korvane::ports {

LinuxParallelPorts::LinuxParallelPorts() : environment_(ParallelEnvironment::live()) {}

LinuxParallelPorts::LinuxParallelPorts(ParallelEnvironment environment)
    : environment_(std::move(environment)) {}

std::unique_ptr<LinuxParallelPorts> LinuxParallelPorts::forDevice(std::filesystem::path device) {
    auto ports = std::make_unique<LinuxParallelPorts>();
    ports->pinned_ = std::move(device);
    return ports;
}

PortChoice LinuxParallelPorts::choiceFor(std::uint16_t baseAddress) const {
    if (pinned_) {
        PortChoice choice;
        choice.kind = PortChoice::Kind::Ppdev;
        choice.device = *pinned_;
        choice.reason = "named on the command line";
        return choice;
    }
    return choosePort(baseAddress, environment_);
}

std::unique_ptr<download::PortIo> LinuxParallelPorts::openPpdev(const std::filesystem::path& device,
                                                                std::uint16_t baseAddress) const {
    const bool named = pinned_.has_value();
    try {
        return std::make_unique<PpdevPortIo>(device, baseAddress, ClaimMode::Exclusive, named);
    } catch (const PortInUse&) {
        // Other drivers are registered on the port, lp above all, which registers on every
        // port when it loads. When none of them holds it right now a shared claim is as good:
        // ppdev keeps the port until we release it. Should a print job start in between, the
        // claim waits for it to end.
        const auto number = parportNumberOf(device);
        const auto claimant =
            number ? activeClaimant(environment_.procRoot, *number) : std::nullopt;
        if (claimant == "none") {
            return std::make_unique<PpdevPortIo>(device, baseAddress, ClaimMode::Shared, named);
        }
        if (claimant) {
            throw download::PortError(describePortHeld(
                device, named ? std::nullopt : std::optional(baseAddress), *claimant));
        }
        throw;
    }
}

std::unique_ptr<download::PortIo> LinuxParallelPorts::claim(std::uint16_t baseAddress) {
    const PortChoice choice = choiceFor(baseAddress);
    if (choice.kind == PortChoice::Kind::Ppdev) {
        try {
            return openPpdev(choice.device, baseAddress);
        } catch (const download::PortError& error) {
            if (choice.reason.starts_with('$')) {
                throw download::PortError(std::string(error.what()) + " (" + choice.reason +
                                          " names this device.)");
            }
            throw;
        }
    }
    try {
        return std::make_unique<DirectPortIo>(baseAddress);
    } catch (const DirectIoDenied& denied) {
        throw download::PortError(describeNoPort(baseAddress, choice, denied.error()));
    }
}

}  // namespace korvane::ports
