#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "download/port_io.h"
#include "ports/linux/parallel_port_mapping.h"

namespace korvane::ports {

// The parallel ports of a Linux machine, as the engine claims them by base address.
//
// LinuxParallelPorts{} maps kLpt1Base to LPT1 and kLpt2Base to LPT2 as the team design says:
// $KORVANE_LPTk, else the parport whose /proc base-addr matches, else /dev/parport0 or
// /dev/parport1, else direct port I/O (root only). A ppdev device is claimed for the life of
// the returned PortIo: exclusively, or, when other drivers such as lp are registered on the port
// but none holds it, shared (ppdev does not give the port up until it is released).
//
// forDevice("/dev/parport3") sends every claim, whatever its base address, to that device:
// this is `korvane-cli send --parallel /dev/parport3`.
class LinuxParallelPorts final : public download::ParallelPorts {
  public:
    LinuxParallelPorts();
    // The same mapping over another /proc, /dev and environment.
    explicit LinuxParallelPorts(ParallelEnvironment environment);

    static std::unique_ptr<LinuxParallelPorts> forDevice(std::filesystem::path device);

    // Throws download::PortError with a message naming the device and the fix.
    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override;

    // What claim(baseAddress) would use right now, without opening anything.
    PortChoice choiceFor(std::uint16_t baseAddress) const;

  private:
    std::unique_ptr<download::PortIo> openPpdev(const std::filesystem::path& device,
                                                std::uint16_t baseAddress) const;

    ParallelEnvironment environment_;
    std::optional<std::filesystem::path> pinned_;
};

}  // namespace korvane::ports
